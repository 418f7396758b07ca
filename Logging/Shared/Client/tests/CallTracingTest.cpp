// Call tracing in a program image that carries the client: the event texts,
// their source location, and what reaches logcore's trace file.

#include "Logging/Shared/Client/src/CallTracing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "Logging/Shared/Client/tests/ClientTestSupport.h"
#include "common/logging/testing/CapturingLogHandler.h"
#include "common/utilities/testing/ScopedFdRedirect.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logging {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

struct Event {
  uint64_t tid;
  std::string name;
  uint64_t id;
  char phase;
  uint64_t ts;
};

TEST(TraceEventTextTest, IsTheInsideOfAJsonObjectByteForByte) {
  struct Case {
    const internal::TraceEventSite& site;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {internal::kSyncTracingBegins, R"("name":"open","id":"7","ph":"B","cat":"kestro","ts":12)"},
      {internal::kSyncTracingEnds, R"("name":"open","id":"7","ph":"E","cat":"kestro","ts":12)"},
      {internal::kFlowTracingStarts, R"("name":"open","id":"7","ph":"s","cat":"kestro","ts":12)"},
      {internal::kFlowTracingFinishes, R"("name":"open","id":"7","ph":"f","cat":"kestro","ts":12)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(internal::traceEventText("open", 7, c.site.phase, 12), c.expected);
  }
  EXPECT_EQ(internal::traceEventText("", UINT64_MAX, internal::kSyncTracingBegins.phase, 0),
            R"("name":"","id":"18446744073709551615","ph":"B","cat":"kestro","ts":0)");
}

class CallTracingTest : public ::testing::Test {
 protected:
  void init(bool trace) { initLogging(dir_.path(), "main", "5", trace); }

  // The events in the trace file, in file order.
  std::vector<Event> traceEvents() {
    flushLogs();
    static const std::regex line(
        R"re(\{"pid":\d+,"tid":(\d+),"name":"([^"]*)","id":"(\d+)","ph":"([BEsf])","cat":"kestro","ts":(\d+)\},)re");
    std::vector<Event> events;
    std::istringstream in(test::channelText(dir_, "trace"));
    std::string text;
    std::smatch m;
    while (std::getline(in, text)) {
      EXPECT_TRUE(std::regex_match(text, m, line)) << text;
      if (!m.empty()) {
        events.push_back(
            {std::stoull(m[1]), m[2], std::stoull(m[3]), m.str(4)[0], std::stoull(m[5])});
      }
    }
    return events;
  }

  // A handler on this image's own "trace" category (after initLogging, whose
  // copy of the core's levels gives the category no handlers of its own).
  std::shared_ptr<test::CapturingLogHandler> captureTraceCategory() {
    auto capture = std::make_shared<test::CapturingLogHandler>();
    LoggerDB::get().categoryFor("trace")->setHandlers({capture});
    return capture;
  }

  test::TemporaryDirectory dir_;
};

TEST_F(CallTracingTest, AScopeWritesBeginThenEndWithItsId) {
  init(/*trace=*/true);
  { SyncTracing trace("open", 7); }
  const auto events = traceEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].phase, 'B');
  EXPECT_EQ(events[1].phase, 'E');
  for (const Event& e : events) {
    EXPECT_EQ(e.name, "open");
    EXPECT_EQ(e.id, 7u);
  }
  EXPECT_LE(events[0].ts, events[1].ts);
}

TEST_F(CallTracingTest, EventsComeFromTheCallTracingSourceLocation) {
  init(/*trace=*/true);
  auto capture = captureTraceCategory();
  {
    SyncTracing sync("scope", 1);
    FlowTracing flow("flow", 2);
  }
  const auto messages = capture->messages();
  struct Expected {
    unsigned int line;
    const char* function;
    const char* phase;
  };
  const std::vector<Expected> expected = {
      {83, "SyncTracing", R"("ph":"B")"},
      {112, "FlowTracing", R"("ph":"s")"},
      {140, "~FlowTracing", R"("ph":"f")"},
      {96, "~SyncTracing", R"("ph":"E")"},
  };
  ASSERT_EQ(messages.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(messages[i].fileName, "Logging/Shared/Client/src/CallTracing");
    EXPECT_EQ(messages[i].lineNumber, expected[i].line);
    EXPECT_EQ(messages[i].functionName, expected[i].function);
    EXPECT_EQ(messages[i].level, LogLevel::DBG);
    EXPECT_EQ(messages[i].category, "trace");
    EXPECT_THAT(messages[i].text, HasSubstr(expected[i].phase));
  }
}

struct WorkItem {
  FlowTracing flow;
};

TEST_F(CallTracingTest, AFlowMovedWithItsWorkFinishesOnceWhereTheWorkEnds) {
  init(/*trace=*/true);
  std::vector<WorkItem> queue;
  {
    FlowTracing local("queued", 9);
    queue.push_back(WorkItem{std::move(local)});
  }  // the moved-from local writes nothing
  std::thread([item = std::move(queue.back())] {}).join();
  queue.clear();  // the moved-from item writes nothing either

  const auto events = traceEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].phase, 's');
  EXPECT_EQ(events[1].phase, 'f');
  EXPECT_EQ(events[1].name, "queued");
  EXPECT_EQ(events[1].id, 9u);
  EXPECT_NE(events[0].tid, events[1].tid);
}

TEST_F(CallTracingTest, MoveAssignmentExchangesTwoFlows) {
  init(/*trace=*/true);
  auto a = std::make_unique<FlowTracing>("a", 1);
  auto b = std::make_unique<FlowTracing>("b", 2);
  *a = std::move(*b);
  b.reset();  // now holds a's flow
  a.reset();
  std::vector<std::pair<char, uint64_t>> seen;
  for (const Event& e : traceEvents()) {
    seen.emplace_back(e.phase, e.id);
  }
  EXPECT_THAT(seen, ElementsAre(std::pair('s', 1u), std::pair('s', 2u), std::pair('f', 1u),
                                std::pair('f', 2u)));
}

TEST_F(CallTracingTest, IdsNotGivenAreDrawnAndDiffer) {
  init(/*trace=*/true);
  { SyncTracing first("same"); }
  { SyncTracing second("same"); }
  { FlowTracing flow("flow"); }
  const auto events = traceEvents();
  ASSERT_EQ(events.size(), 6u);
  for (size_t i = 0; i < events.size(); i += 2) {
    EXPECT_EQ(events[i].id, events[i + 1].id) << "the pair at " << i;
  }
  EXPECT_NE(events[0].id, events[2].id);
  EXPECT_NE(events[2].id, events[4].id);
}

TEST_F(CallTracingTest, AFlowWithAnEmptyNameWritesNothing) {
  init(/*trace=*/true);
  { FlowTracing unnamed(""); }
  { FlowTracing unnamed("", 4); }
  EXPECT_THAT(traceEvents(), IsEmpty());
}

TEST_F(CallTracingTest, WithTracingOffNothingIsWrittenAnywhere) {
  init(/*trace=*/false);
  auto capture = captureTraceCategory();
  test::ScopedFdRedirect standardError(2);
  {
    SyncTracing sync("off", 1);
    SyncTracing drawn("off");
    FlowTracing flow("off");
  }
  flushLogs();
  EXPECT_EQ(capture->messageCount(), 0u);  // no message was even built
  EXPECT_THAT(dir_.fileNamesStartingWith("trace-"), IsEmpty());
  EXPECT_THAT(test::channelText(dir_, "kestro"), Not(HasSubstr("\"ph\"")));
  EXPECT_EQ(standardError.contents(), "");
}

}  // namespace
}  // namespace quorvane::kestro::logging
