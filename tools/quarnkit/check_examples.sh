#!/usr/bin/env bash
# Runs the quarnkit tool on the bundled examples and compares what it prints
# with the expected files under examples/*/expected. The runs fix the clock,
# the random seed, the time zone and the locale, so the output is the same on
# every machine.
#
#   tools/quarnkit/check_examples.sh [--update] [TOOL]
#
# TOOL defaults to build/default/tools/quarnkit/quarnkit. --update rewrites
# the expected files from the tool's current output instead of comparing.
set -uo pipefail
cd "$(dirname "$0")/../.."

update=0
if [ "${1:-}" = "--update" ]; then update=1; shift; fi
tool="${1:-build/default/tools/quarnkit/quarnkit}"
export TZ=UTC LANG=en_US.UTF-8
unset QUARNKIT_LOG_LEVEL

home=(examples/home/template.json --results examples/home/results.json
      --includes examples/home/includes --env examples/home/environment.json
      --now 2024-05-01T10:00:00Z --seed 7)

failures=0
total=0
# check NAME STATUS STREAM EXPECTED ARGS...: STREAM is what is compared (out
# or err), STATUS the exit status the run must end with.
check() {
  local name="$1" status="$2" stream="$3" expected="$4"
  shift 4
  total=$((total + 1))
  local out err actual
  out="$(mktemp)"; err="$(mktemp)"
  "$tool" "$@" >"$out" 2>"$err"
  actual=$?
  local compared="$out"
  [ "$stream" = err ] && compared="$err"
  if [ "$update" = 1 ]; then
    mkdir -p "$(dirname "$expected")"
    cp "$compared" "$expected"
  fi
  if [ "$actual" != "$status" ]; then
    echo "FAIL $name: exit status $actual, expected $status"; cat "$err"
    failures=$((failures + 1))
  elif ! diff -u "$expected" "$compared"; then
    echo "FAIL $name: output differs from $expected"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
  rm -f "$out" "$err"
}

check home_preview_json 0 out examples/home/expected/preview.json \
  preview "${home[@]}" --format json --print-request
check home_preview_tablet_premium 0 out examples/home/expected/preview-tablet-premium.json \
  preview "${home[@]}" --format json --device tablet --premium yes
check home_preview_text 0 out examples/home/expected/preview.txt preview "${home[@]}"
check home_explain 0 out examples/home/expected/explain.json \
  explain "${home[@]}" --format json
check home_explain_text 0 out examples/home/expected/explain.txt explain "${home[@]}"
# In June the summer sale has started, but the results hold nothing for it.
check home_explain_june 0 out examples/home/expected/explain-june.txt \
  explain "${home[@]:0:7}" --now 2024-06-02T10:00:00Z --seed 7
check home_matrix 0 out examples/home/expected/matrix.txt \
  explain "${home[@]}" --matrix premium=yes,no device=phone,tablet
check home_lint 0 out examples/home/expected/lint.txt \
  lint examples/home/template.json --env examples/home/environment.json \
  --includes examples/home/includes
check minimal_preview_json 0 out examples/minimal/expected/preview.json \
  preview examples/minimal/template.json --env examples/minimal/environment.json \
  --now 2024-05-01T10:00:00Z --format json
check faulty_lint 1 out examples/faulty/expected/lint.txt \
  lint examples/faulty/template.json --env examples/faulty/environment.json
check faulty_preview 1 err examples/faulty/expected/preview-error.txt \
  preview examples/faulty/template.json --now 2024-05-01T10:00:00Z
check missing_template 1 err examples/faulty/expected/missing-template.txt \
  preview examples/faulty/no-such-template.json

routes=examples/routes/routes.txt
route_urls=(myapp://profile/42 myapp://profile/me
            "myapp://product/E621E1F8-C36C-495A-93FC-0C247A3E6E5F?ref=mail"
            myapp://search/red/shoes https://shop.example.com/p/blue-suede-shoes/reviews/
            myapp://orders/7/items/3 /help/returns myapp://profile/abc)
check routes_check 1 out examples/routes/expected/check.txt route "$routes" --check
check routes_check_json 1 out examples/routes/expected/check.json \
  route "$routes" --check --format json
check routes_match 1 out examples/routes/expected/match.txt route "$routes" "${route_urls[@]}"
check routes_match_json 1 out examples/routes/expected/match.json \
  route "$routes" "${route_urls[@]}" --format json
check routes_explain 0 out examples/routes/expected/explain.txt \
  route "$routes" myapp://orders/7/items/3 --explain
check routes_faulty 1 err examples/routes/expected/faulty.txt \
  route examples/routes/faulty.txt myapp://x
# The JSON form numbers its entries by their lines, which here are those of the text form.
check routes_json_match 1 out examples/routes/expected/match.txt \
  route examples/routes/routes.json "${route_urls[@]}"
check routes_json_faulty 1 err examples/routes/expected/faulty-json.txt \
  route examples/routes/faulty.json myapp://x

prices=(examples/prices/products.json --templates examples/prices/templates.json
        --now 2024-05-01T10:00:00Z)
check prices_en_US 0 out examples/prices/expected/en_US.txt price "${prices[@]}" --locale en_US
check prices_de_DE 0 out examples/prices/expected/de_DE.txt price "${prices[@]}" --locale de_DE
check prices_ja_JP 0 out examples/prices/expected/ja_JP.txt price "${prices[@]}" --locale ja_JP
check prices_json 0 out examples/prices/expected/de_DE.json \
  price "${prices[@]}" --locale de_DE --format json
check prices_monthly_plain 0 out examples/prices/expected/relative-monthly.txt \
  price "${prices[@]}" --relative com.example.pro.monthly --no-nice-rounding
check prices_exact_lengths 0 out examples/prices/expected/exact-lengths.txt \
  price "${prices[@]}" --locale en_US --exact-lengths
check prices_validate 1 out examples/prices/expected/validate.txt price "${prices[@]}" --validate
check prices_validate_faulty 1 out examples/prices/expected/validate-faulty.txt \
  price examples/prices/products.json --templates examples/prices/faulty-templates.json --validate
check prices_validate_ok 0 out examples/prices/expected/validate-ok.txt \
  price examples/prices/products.json --template "%price% / %period%" --validate

forms=examples/forms
check form_text 0 out $forms/expected/onboarding.txt form $forms/onboarding.json
check form_answers_json 0 out $forms/expected/onboarding-answers.json \
  form $forms/onboarding.json --answers $forms/answers.json --format json
check form_answers_html 0 out $forms/expected/onboarding-answers.html \
  form $forms/onboarding.json --answers $forms/answers.json --format html
check form_answers_faulty 1 out $forms/expected/answers-faulty.txt \
  form $forms/onboarding.json --answers $forms/answers-faulty.json
check form_lint 0 out $forms/expected/lint.txt form lint $forms/onboarding.json
check form_lint_faulty 1 out $forms/expected/lint-faulty.txt form lint $forms/faulty-form.json
check form_not_a_form 1 err $forms/expected/not-a-form.txt form $forms/answers.json

echo "$((total - failures)) passed, $failures failed"
[ "$failures" = 0 ]
