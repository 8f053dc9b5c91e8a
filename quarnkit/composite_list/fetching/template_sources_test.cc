// Template providers (the awaitable form and its continuation check) and the
// template file observer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "quarnkit/composite_list/fetching/template_file_observer.h"
#include "quarnkit/composite_list/fetching/template_providing.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn {
namespace {

using Items = std::vector<AnyCompositeListItem>;
using Completion = CompositeListTemplateProviding::Completion;

/// Answers through a callback the test chooses.
class CallbackProvider : public CompositeListTemplateProviding {
 public:
  using CompositeListTemplateProviding::provideTemplate;
  std::function<void(const CompositeListTemplateSource&, Completion)> answer;
  void provideTemplate(const CompositeListTemplateSource& source, Completion completion) override {
    answer(source, std::move(completion));
  }
};

Items dividers(const std::string& json) {
  return decodeCompositeListTemplate(json, std::make_shared<CompositeListItemsRegistry>());
}

TEST(CompositeListTemplateProvidingTest, AwaitsTheCompletion) {
  CallbackProvider provider;
  // Joined before the test ends: a thread still leaving the completion when
  // the process exits would outlive the main context it posted to.
  std::vector<std::thread> threads;
  provider.answer = [&threads](const CompositeListTemplateSource& source, auto completion) {
    // Answered from another thread, as a network-backed provider would.
    threads.emplace_back([source, completion] {
      if (source.rawValue() == "home") {
        completion(Outcome<Items>::success(dividers(R"([{"type":"divider","uniqueId":"d"}])")));
      } else {
        completion(Outcome<Items>::failure(
            std::make_exception_ptr(std::runtime_error("no " + source.rawValue()))));
      }
    });
  };
  const Items items =
      runUntilComplete(provider.provideTemplate(CompositeListTemplateSource::key("home")));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].uniqueId(), "d");
  EXPECT_THROW(
      {
        try {
          runUntilComplete(provider.provideTemplate(CompositeListTemplateSource::key("promo")));
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "no promo");
          throw;
        }
      },
      std::runtime_error);
  for (std::thread& t : threads) t.join();
}

TEST(CompositeListTemplateProvidingDeathTest, ASecondCompletionStopsWithTheContinuationName) {
  CallbackProvider provider;
  provider.answer = [](const CompositeListTemplateSource&, auto completion) {
    completion(Outcome<Items>::success({}));
    completion(Outcome<Items>::success({}));
  };
  EXPECT_DEATH(runUntilComplete(provider.provideTemplate(CompositeListTemplateSource::key("x"))),
               "provideTemplate\\(form:\\) tried to resume its continuation more than once");
}

TEST(CompositeListTemplateProvidingTest, AnAnswerInsideTheCallOrLaterEndsTheWaitOnce) {
  CallbackProvider provider;
  const auto key = CompositeListTemplateSource::key("k");
  // Answered inside the call, then the provider throws: the answer stands.
  provider.answer = [](const CompositeListTemplateSource&, auto completion) {
    completion(Outcome<Items>::success(dividers(R"([{"type":"divider","uniqueId":"a"}])")));
    throw std::runtime_error("late");
  };
  testing::LogCapture log;
  Items items = runUntilComplete(provider.provideTemplate(key));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].uniqueId(), "a");
  EXPECT_EQ(log.count("threw after it completed; the error is dropped: late"), 1u);

  // A failure answered inside the call is thrown.
  provider.answer = [](const CompositeListTemplateSource&, auto completion) {
    completion(Outcome<Items>::failure(std::make_exception_ptr(std::runtime_error("no"))));
  };
  EXPECT_THROW(runUntilComplete(provider.provideTemplate(key)), std::runtime_error);

  // Thrown first: every later answer is logged and ignored.
  Completion kept;
  provider.answer = [&kept](const CompositeListTemplateSource&, auto completion) {
    kept = std::move(completion);
    throw std::runtime_error("down");
  };
  EXPECT_THROW(runUntilComplete(provider.provideTemplate(key)), std::runtime_error);
  kept(Outcome<Items>::success({}));
  kept(Outcome<Items>::success({}));
  EXPECT_EQ(log.count("completed after it threw; the completion is ignored"), 2u);

  // Kept and answered later on the main context.
  provider.answer = [&kept](const CompositeListTemplateSource&, auto completion) {
    kept = std::move(completion);
    postToMain([&kept] {
      kept(Outcome<Items>::success(dividers(R"([{"type":"divider","uniqueId":"b"}])")));
    });
  };
  items = runUntilComplete(provider.provideTemplate(key));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].uniqueId(), "b");
}

TEST(CompositeListTemplateProvidingTest, ACompletionDroppedUnansweredEndsTheWaitAsLeaked) {
  CallbackProvider provider;
  Completion kept;
  provider.answer = [&kept](const CompositeListTemplateSource&, auto completion) {
    kept = std::move(completion);
    postToMain([&kept] { kept = nullptr; });
  };
  testing::LogCapture log;
  EXPECT_ANY_THROW(
      runUntilComplete(provider.provideTemplate(CompositeListTemplateSource::key("k"))));
  EXPECT_EQ(log.count("provideTemplate(form:) leaked its continuation without resuming it"), 1u);

  // Dropped inside the call.
  provider.answer = [](const CompositeListTemplateSource&, auto) {};
  EXPECT_ANY_THROW(
      runUntilComplete(provider.provideTemplate(CompositeListTemplateSource::key("k"))));
  EXPECT_EQ(log.count("leaked its continuation"), 2u);
}

TEST(CompositeListTemplateProvidingDeathTest, ASecondLaterCompletionStopsWithTheContinuationName) {
  CallbackProvider provider;
  provider.answer = [](const CompositeListTemplateSource&, auto completion) {
    postToMain([completion] {
      completion(Outcome<Items>::success({}));
      completion(Outcome<Items>::success({}));
    });
  };
  EXPECT_DEATH(runUntilComplete(provider.provideTemplate(CompositeListTemplateSource::key("x"))),
               "provideTemplate\\(form:\\) tried to resume its continuation more than once");
}

class TemplateFileObserverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("observer_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = dir_ / "template.json";
    std::ofstream(path_) << "[]";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void append(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::app) << text;
  }
  /// Runs the main context for a moment, long enough for file events to arrive.
  static void settle() {
    runMainContextUntil([] { return false; }, std::chrono::milliseconds(150));
  }
  /// Descriptors open on the template or on an inotify instance.
  std::size_t watchingDescriptors() const {
    std::size_t count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code error;
      const auto target = std::filesystem::read_symlink(fd.path(), error);
      if (!error && (target == path_ || target.string() == "anon_inode:inotify")) ++count;
    }
    return count;
  }

  std::filesystem::path dir_;
  std::filesystem::path path_;
};

TEST_F(TemplateFileObserverTest, ReportsAppendsOnTheMainContext) {
  CompositeListTemplateFileObserver observer(URL::fileURL(path_));
  EXPECT_EQ(observer.url(), URL::fileURL(path_));
  int changes = 0;
  bool onMain = true;
  observer.setOnFileChanged([&] {
    ++changes;
    onMain = onMain && isOnMainContext();
  });
  append(path_, "\n");
  ASSERT_TRUE(runMainContextUntil([&] { return changes == 1; }));
  append(path_, "\n");
  ASSERT_TRUE(runMainContextUntil([&] { return changes == 2; }));
  EXPECT_TRUE(onMain);

  observer.setOnFileChanged(nullptr);  // silenced, still watching
  append(path_, "\n");
  settle();
  int later = 0;
  observer.setOnFileChanged([&] { ++later; });
  append(path_, "\n");
  ASSERT_TRUE(runMainContextUntil([&] { return later == 1; }));
  EXPECT_EQ(changes, 2);
}

TEST_F(TemplateFileObserverTest, RenamesAndDeletionsAreNotReported) {
  CompositeListTemplateFileObserver observer(URL::fileURL(path_));
  int changes = 0;
  observer.setOnFileChanged([&] { ++changes; });
  const auto replacement = dir_ / "new.json";
  std::ofstream(replacement) << "[{\"type\":\"divider\"}]";
  std::filesystem::rename(replacement, path_);  // the editor's save-by-rename
  settle();
  std::filesystem::remove(path_);
  settle();
  EXPECT_EQ(changes, 0);
}

TEST_F(TemplateFileObserverTest, DestructionClosesTheFile) {
  ASSERT_EQ(watchingDescriptors(), 0u);
  int changes = 0;
  {
    CompositeListTemplateFileObserver observer(URL::fileURL(path_));
    observer.setOnFileChanged([&] { ++changes; });
    EXPECT_EQ(watchingDescriptors(), 2u);  // the file and its watch
    append(path_, "\n");                   // an event may be on its way when the observer goes
  }
  settle();
  EXPECT_EQ(watchingDescriptors(), 0u);
  EXPECT_EQ(changes, 0);
}

TEST_F(TemplateFileObserverTest, MissingFilesAndRemoteURLsFail) {
  EXPECT_THROW(CompositeListTemplateFileObserver(URL::fileURL(dir_ / "missing.json")),
               std::system_error);
  EXPECT_THROW(CompositeListTemplateFileObserver(*URL::parse("https://example.com/t.json")),
               std::system_error);
}

}  // namespace
}  // namespace quarn
