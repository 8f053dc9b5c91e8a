# The tool run on the bundled examples, compared with examples/*/expected.
add_test(NAME quarnkit.examples
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_examples.sh $<TARGET_FILE:quarnkit_cli>
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})

# The tool on hostile inputs built in a temporary directory: each run must end
# with its exit status and one exact line.
add_test(NAME quarnkit.hostile
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_hostile.sh $<TARGET_FILE:quarnkit_cli>
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
