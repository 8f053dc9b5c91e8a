// serve: which request paths reach which files, the cap on event streams
// (and that pages load while the streams are held), renders with the page's
// settings, lint findings in place of a broken template, and the change
// events of the input files.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "quarnkit/platform/runtime/async.h"
#include "tools/quarnkit/common/tool_test_support.h"
#include "tools/quarnkit/serve/input_watch.h"
#include "tools/quarnkit/serve/page_render.h"
#include "tools/quarnkit/serve/preview_server.h"
#include "tools/quarnkit/serve/served_files.h"

namespace quarn::tool {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ScratchDirectory;

// A raw HTTP/1.1 connection to 127.0.0.1, so that paths reach the server
// exactly as written (no client normalising them).
class Connection {
 public:
  Connection(int port, const std::string& target, std::string host = {})
      : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    if (host.empty()) host = "127.0.0.1:" + std::to_string(port);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval timeout{5, 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot connect");
    }
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    if (::send(socket_, request.data(), request.size(), MSG_NOSIGNAL) < 0) {
      throw std::runtime_error("cannot send");
    }
  }
  ~Connection() { ::close(socket_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Reads until `text` arrived (true) or the connection ends or times out.
  bool readUntil(std::string_view text) {
    char buffer[4096];
    while (received_.find(text) == std::string::npos) {
      const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      received_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }
  // The whole answer, until the server closes the connection.
  const std::string& all() {
    readUntil(std::string_view("\0never", 6));
    return received_;
  }
  int status() {
    readUntil("\r\n");
    return received_.size() > 12 ? std::stoi(received_.substr(9, 3)) : 0;
  }

 private:
  int socket_;
  std::string received_;
};

std::string get(int port, const std::string& target) { return Connection(port, target).all(); }
int statusOf(int port, const std::string& target) { return Connection(port, target).status(); }

// A template folder with files inside, and ways out of it next to it.
struct Site {
  ScratchDirectory dir;
  fs::path folder = dir.path() / "site";
  Site() {
    dir.write("site/template.json", "[]");
    dir.write("site/includes/a.json", "[1]");
    dir.write("site/.hidden/x.json", "{}");
    dir.write("outside/secret.json", "secret");
    fs::create_symlink("../outside/secret.json", folder / "link.json");
    fs::create_symlink("../outside", folder / "out");
    fs::create_symlink("includes/a.json", folder / "inner-link.json");
  }
};

TEST(ServedFilesTest, OnlyTheFolderOwnRegularFilesAreServed) {
  Site site;
  const IncludeFolder folder(site.folder);
  const fs::path real = fs::canonical(site.folder);
  struct Row {
    std::string name;
    std::optional<fs::path> file;
  };
  const std::vector<Row> rows{
      {"template.json", real / "template.json"},
      {"includes/a.json", real / "includes/a.json"},
      {"inner-link.json", real / "includes/a.json"},
      {"includes/../template.json", std::nullopt},
      {"../outside/secret.json", std::nullopt},
      {"includes/../../outside/secret.json", std::nullopt},
      {"/etc/passwd", std::nullopt},
      {(real / "template.json").string(), std::nullopt},
      {"link.json", std::nullopt},
      {"out/secret.json", std::nullopt},
      {".hidden/x.json", std::nullopt},
      {"includes", std::nullopt},
      {"missing.json", std::nullopt},
      {"..\\outside\\secret.json", std::nullopt},
      {std::string("template.json\0x", 15), std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(servedFile(folder, row.name), row.file) << row.name;
  }
  EXPECT_EQ(servedContentType("a.JSON"), "application/json");
  EXPECT_EQ(servedContentType("a.svg"), "text/plain; charset=utf-8");
  EXPECT_EQ(servedContentType("a.html"), "text/plain; charset=utf-8");
}

TEST(PreviewServerTest, AnswersItsOwnPathsAndNothingElse) {
  Site site;
  PreviewServer server(site.folder, [](const PreviewServer::Query& query) {
    parsePageSettings(query);
    return std::string(R"({"ok": true})");
  });
  const int port = server.start(0);
  const std::vector<std::pair<std::string, int>> rows{
      {"/", 200},
      {"/app.js", 200},
      {"/app.css", 200},
      {"/render?device=tablet&fact.country=FR", 200},
      {"/render?device=watch", 400},
      {"/render?secret=1", 400},
      {"/files/template.json", 200},
      {"/files/includes/a.json", 200},
      {"/files/../outside/secret.json", 404},
      {"/files/%2e%2e/outside/secret.json", 404},
      {"/files/..%2foutside%2fsecret.json", 404},
      {"/files/%252e%252e/outside/secret.json", 404},
      {"/files//etc/passwd", 404},
      {"/files/link.json", 404},
      {"/files/out/secret.json", 404},
      {"/files/.hidden/x.json", 404},
      {"/files/template.json%00.png", 404},
      {"/../outside/secret.json", 404},
      {"/etc/passwd", 404},
      {"/template.json", 404},
      {"/index.html", 404},
  };
  for (const auto& [target, status] : rows) {
    EXPECT_EQ(statusOf(port, target), status) << target;
  }
  EXPECT_NE(get(port, "/files/template.json").find("\r\n\r\n[]"), std::string::npos);
  EXPECT_NE(get(port, "/render?device=watch").find("unknown device \"watch\""), std::string::npos);
  // A name other than the server's own (a rebound DNS name) gets nothing.
  Connection rebound(port, "/files/template.json", "evil.example:" + std::to_string(port));
  EXPECT_EQ(rebound.status(), 403);
  Connection local(port, "/files/template.json", "localhost:" + std::to_string(port));
  EXPECT_EQ(local.status(), 200);
}

TEST(PreviewServerTest, CapsEventStreamsAndStillServesPages) {
  Site site;
  PreviewServerLimits limits;
  limits.maxStreams = 3;
  limits.threads = 8;
  limits.heartbeat = 50ms;
  PreviewServer server(
      site.folder, [](const PreviewServer::Query&) { return std::string("{}"); }, limits);
  const int port = server.start(0);
  std::vector<std::unique_ptr<Connection>> streams;
  for (int i = 0; i < 3; ++i) {
    streams.push_back(std::make_unique<Connection>(port, "/events"));
    ASSERT_TRUE(streams.back()->readUntil("data: 0\n\n")) << i;
  }
  EXPECT_EQ(server.openStreams(), 3U);
  EXPECT_EQ(statusOf(port, "/events"), 503);
  EXPECT_EQ(statusOf(port, "/"), 200);
  EXPECT_EQ(statusOf(port, "/render"), 200);

  server.changed();
  for (auto& stream : streams) EXPECT_TRUE(stream->readUntil("data: 1\n\n"));

  // A page that goes away frees its slot within a heartbeat or two.
  streams.pop_back();
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (server.openStreams() > 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(server.openStreams(), 2U);
  Connection again(port, "/events");
  EXPECT_TRUE(again.readUntil("data: 1\n\n"));

  // Stopping ends the streams that are still open.
  server.stop();
  for (auto& stream : streams) stream->all();
  EXPECT_EQ(server.openStreams(), 0U);
}

// The home example in a scratch folder, as serve reads it.
HostOptions homeOptions(const ScratchDirectory& dir) {
  fs::copy(QUARNKIT_EXAMPLES_DIR "/home", dir.path() / "home", fs::copy_options::recursive);
  HostOptions options;
  options.templateFile = (dir.path() / "home/template.json").string();
  options.now = testing::kNow;
  return withSiblingFiles(options);
}

std::string text(const Value& document, std::string_view key) {
  const Value* member = document.find(key);
  return member && member->ifString() ? *member->ifString() : std::string();
}

PageRender renderWith(const HostOptions& options,
                      std::vector<std::pair<std::string, std::string>> query) {
  return runUntilComplete(renderPage(options, parsePageSettings(query)));
}

TEST(PageRenderTest, RendersWithThePageSettings) {
  ScratchDirectory dir;
  const HostOptions options = homeOptions(dir);

  const PageRender plain = renderWith(options, {});
  ASSERT_TRUE(plain.ok) << text(plain.document, "error");
  const std::string screen = text(plain.document, "screen");
  EXPECT_TRUE(screen.starts_with("<div class=\"phone\">"));
  EXPECT_NE(screen.find("<span>phone</span>"), std::string::npos);
  EXPECT_NE(screen.find("Stores near you"), std::string::npos);
  EXPECT_NE(screen.find("data-id=\"pro_upsell\""), std::string::npos);
  EXPECT_EQ(screen.find("two-column layout"), std::string::npos);
  EXPECT_EQ(plain.document.find("explain"), nullptr);

  const PageRender set = renderWith(options, {{"device", "tablet"},
                                              {"premium", "yes"},
                                              {"now", "2024-05-10T08:00:00Z"},
                                              {"fact.country", "FR"},
                                              {"explain", "1"}});
  ASSERT_TRUE(set.ok) << text(set.document, "error");
  const std::string tablet = text(set.document, "screen");
  EXPECT_NE(tablet.find("<span>tablet</span>"), std::string::npos);
  EXPECT_NE(tablet.find("2024-05-10T08:00:00Z"), std::string::npos);
  EXPECT_EQ(tablet.find("data-id=\"pro_upsell\""), std::string::npos);  // premium
  EXPECT_NE(tablet.find("two-column layout"), std::string::npos);       // is_pad
  EXPECT_EQ(tablet.find("Stores near you"), std::string::npos);         // country
  const std::string explanation = text(set.document, "explain");
  EXPECT_NE(explanation.find("mothers_day</code>"), std::string::npos);
  EXPECT_NE(explanation.find("Next change: 2024-05-12T23:59:59Z"), std::string::npos);
  EXPECT_NE(explanation.find("hidden: expired 2024-04-15T00:00:00Z"), std::string::npos);

  // The facts file's facts, as the page edits them, whatever the settings.
  const Value* facts = set.document.find("facts");
  ASSERT_NE(facts, nullptr);
  ASSERT_NE(facts->ifArray(), nullptr);
  ASSERT_FALSE(facts->ifArray()->empty());
  EXPECT_EQ(text(facts->ifArray()->front(), "name"), "user");
  EXPECT_EQ(text(facts->ifArray()->at(1), "text"), "DE");
}

TEST(PageRenderTest, TextsFromTheTemplateAreEscapedInTheScreenAndTheExplanation) {
  ScratchDirectory dir;
  HostOptions options;
  options.templateFile = dir.write("t.json", R"([
    {"uniqueId": "<b>a</b>", "type": "rows", "data": {"title": "<script>x</script>"},
     "entity": [{"text": "<img src=y>"}]},
    {"uniqueId": "<i>h</i>", "type": "<u>card</u>", "visibility": "hidden"}])");
  const PageRender render = renderWith(options, {{"explain", "1"}});
  ASSERT_TRUE(render.ok) << text(render.document, "error");
  for (const char* key : {"screen", "explain"}) {
    const std::string html = text(render.document, key);
    for (const char* raw : {"<b>", "<script>", "<img src=y", "<i>", "<u>"}) {
      EXPECT_EQ(html.find(raw), std::string::npos) << key << " holds " << raw;
    }
  }
  EXPECT_NE(text(render.document, "screen").find("&lt;script&gt;x&lt;/script&gt;"),
            std::string::npos);
  EXPECT_NE(text(render.document, "explain").find("<code>&lt;i&gt;h&lt;/i&gt;</code>"),
            std::string::npos);
}

TEST(PageRenderTest, RefusesSettingsItDoesNotTake) {
  for (const auto& [name, value] :
       std::vector<std::pair<std::string, std::string>>{{"device", "watch"},
                                                        {"premium", "maybe"},
                                                        {"now", "tomorrow"},
                                                        {"theme", "dark"},
                                                        {"fact.", "x"}}) {
    EXPECT_THROW(parsePageSettings({{name, value}}), std::invalid_argument) << name;
  }
  // Empty values keep the defaults.
  EXPECT_TRUE(parsePageSettings({{"device", ""}, {"premium", ""}, {"now", ""}}).overrides.empty());
}

TEST(PageRenderTest, FactsReadBackAsTheyWere) {
  for (const Value& fact :
       {Value("DE"), Value("true"), Value("7"), Value("2024-05-01T10:00:00Z"), Value(7), Value(2.5),
        Value(false), Value(), Value(*Date::parseISO8601("2024-05-01T10:00:00Z")),
        Value{{"city", "Berlin"}}, Value(Value::Array{1, "a"})}) {
    EXPECT_EQ(factFromText(factText(fact)), fact) << factText(fact);
  }
}

TEST(PageRenderTest, ABrokenTemplateShowsItsLintFindingsEscaped) {
  ScratchDirectory dir;
  HostOptions options;
  options.templateFile = dir.write("t.json", R"([{"type": "rows"}, {"type": )");
  PageRender broken = renderWith(options, {{"explain", "1"}});
  EXPECT_FALSE(broken.ok);
  EXPECT_EQ(broken.document.find("screen"), nullptr);
  EXPECT_NE(text(broken.document, "error").find("not valid JSON"), std::string::npos);
  EXPECT_NE(text(broken.document, "findings").find("<li class=\"error\">"), std::string::npos);

  options.templateFile =
      dir.write("inc.json", R"([{"type": "include", "entity": {"key": "<img src=x>"}}])");
  options.includesDirectory = dir.path().string();
  broken = renderWith(options, {});
  EXPECT_FALSE(broken.ok);
  const std::string findings = text(broken.document, "findings");
  EXPECT_NE(findings.find("cannot resolve the include key &quot;&lt;img src=x&gt;&quot;"),
            std::string::npos)
      << findings;
  EXPECT_EQ(findings.find("<img"), std::string::npos);

  // Past the size limit: the bounded reader's finding, nothing read.
  options.templateFile = dir.write("big.json", "[" + std::string(2000, ' ') + "]");
  options.limits.maxFileSize = 1000;
  broken = renderWith(options, {});
  EXPECT_FALSE(broken.ok);
  EXPECT_NE(text(broken.document, "findings").find("larger than the 1000 bytes limit"),
            std::string::npos)
      << text(broken.document, "findings");
}

// Counts the watch's reports while the main context runs.
struct Reports {
  int count = 0;
  bool after(int before) {
    return runMainContextUntil([&] { return count > before; }, 3s);
  }
};

TEST(InputWatchTest, ReportsAppendsReplacementsAndNewIncludes) {
  ScratchDirectory dir;
  const std::string file = dir.write("t.json", "[1, 2, 3]");
  dir.write("inc/a.json", "[]");
  Reports reports;
  const InputWatch watch({file, dir.path() / "facts.json"}, {dir.path() / "inc"}, 20ms,
                         [&] { ++reports.count; });
  drainMainContext();
  EXPECT_EQ(reports.count, 0);

  std::ofstream(file, std::ios::app) << "  ";
  EXPECT_TRUE(reports.after(0)) << "append";
  int seen = reports.count;
  std::ofstream(file, std::ios::trunc) << "[]";  // shorter, in place
  EXPECT_TRUE(reports.after(seen)) << "shrink";
  seen = reports.count;
  dir.write("t.json.new", "[4]");
  fs::rename(dir.path() / "t.json.new", file);  // an editor's save
  EXPECT_TRUE(reports.after(seen)) << "rename";
  seen = reports.count;
  std::ofstream(file, std::ios::app) << "  ";  // the new file is watched too
  EXPECT_TRUE(reports.after(seen)) << "append after rename";
  seen = reports.count;
  dir.write("facts.json", "{}");  // a file that was missing appears
  EXPECT_TRUE(reports.after(seen)) << "new facts file";
  seen = reports.count;
  dir.write("inc/deeper/b.json", "[]");
  EXPECT_TRUE(reports.after(seen)) << "new include";
  seen = reports.count;
  fs::remove(dir.path() / "inc/a.json");
  EXPECT_TRUE(reports.after(seen)) << "removed include";
  seen = reports.count;
  // Nothing changes: nothing is reported.
  runMainContextUntil([] { return false; }, 100ms);
  EXPECT_EQ(reports.count, seen);
}

std::size_t openDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

TEST(InputWatchTest, ABigIncludesFolderIsPolledWithoutADescriptorPerFile) {
  ScratchDirectory dir;
  for (int i = 0; i < 200; ++i) dir.write("inc/f" + std::to_string(i) + ".json", "[]");
  Reports reports;
  const std::size_t before = openDescriptors();
  const InputWatch watch({dir.write("t.json", "[]")}, {dir.path() / "inc"}, 20ms,
                         [&] { ++reports.count; });
  EXPECT_LE(openDescriptors() - before, 2 * InputWatch::kMaxWatchers + 4);
  // A file past the watched ones still reports its changes, by the poll.
  std::ofstream(dir.path() / "inc/f99.json", std::ios::app) << " ";
  EXPECT_TRUE(reports.after(0));
}

}  // namespace
}  // namespace quarn::tool
