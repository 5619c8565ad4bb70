#include "driver/sink.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>

#include "base/line.h"
#include "test_support.h"

namespace pn2tavix::detail {
namespace {

TEST(Sink, CollectsOnlyWhileCollectingIsOn) {
  std::ostringstream out;
  Sink s(out.rdbuf());
  tavix_out(s, "a\n");
  start_collecting(s);
  tavix_out(s, "b\n");
  tavix_out(s, "b\n");
  stop_collecting(s);
  tavix_out(s, "c %d\\n\n");  // written as it is, never taken as a format
  flush_output(s);
  EXPECT_EQ("a\nb\nb\nc %d\\n\n", out.str());
  EXPECT_EQ("b\nb\n", measure_text(s));
}

TEST(Sink, FilingKeepsTheMeasureTextAndReplayWritesIt) {
  std::ostringstream out;
  Sink s(out.rdbuf());
  start_collecting(s);
  tavix_out(s, "x\n");
  file_measure_text(s, 1);         // straight from the output block
  EXPECT_EQ("", measure_text(s));  // filing ends the measure
  start_collecting(s);
  tavix_out(s, "x\n");
  stop_collecting(s);
  file_measure_text(s, 2);  // from the measure text, collecting already stopped
  file_measure_text(s, 3);  // an empty text is still a stored measure
  EXPECT_EQ(StoredMeasure::kText, stored_state(s, 3));
  EXPECT_EQ(StoredMeasure::kNone, stored_state(s, 4));
  EXPECT_EQ(StoredMeasure::kNone, stored_state(s, 0));
  EXPECT_EQ(StoredMeasure::kNone, stored_state(s, kMaxMeasures + 1));

  start_collecting(s);  // a replay while collecting is collected too
  replay_measure(s, 2);
  replay_measure(s, 3);
  file_copy_of_measure(s, 1, 4);
  flush_output(s);
  EXPECT_EQ("x\nx\nx\n", out.str());  // collected twice, replayed once
  EXPECT_EQ("x\n", measure_text(s));
  EXPECT_EQ("x\n", s.generated_measures[4].text);

  clear_store(s);
  for (int m = 1; m <= 4; ++m) EXPECT_EQ(StoredMeasure::kNone, stored_state(s, m));
}

TEST(Sink, MeasureTextStaysBoundedAndIsMarkedTooLong) {
  std::ostringstream out;
  Sink s(out.rdbuf());
  start_collecting(s);
  const std::string chunk(1000, 'n');
  for (int i = 0; i < 6; ++i) tavix_out(s, chunk);  // 6000 characters, over the bound
  EXPECT_LE(measure_text(s).size(), kMeasureTextMax);
  file_measure_text(s, 7);
  EXPECT_EQ(StoredMeasure::kTooLong, stored_state(s, 7));
  flush_output(s);
  EXPECT_EQ(6000u, out.str().size());  // the output itself loses nothing
  empty_measure_text(s);
  tavix_out(s, "ok");
  file_measure_text(s, 8);
  EXPECT_EQ(StoredMeasure::kText, stored_state(s, 8));

  // Events too: a measure of more events than a stored measure can hold keeps no more of them.
  start_collecting(s);
  for (size_t i = 0; i <= 2 * kMeasureEventsMax; ++i) collect_event(s, MeasureEvent{});
  EXPECT_EQ(kMeasureEventsMax, s.measure_events.size());
  file_measure_text(s, 9);
  EXPECT_EQ(StoredMeasure::kTooLong, stored_state(s, 9));
}

TEST(Sink, LinesFormedInPlaceAreWrittenAndCollectedAcrossBlocks) {
  // Lines formed in the output block itself, while collecting, around the point where the
  // block is full and written: the measure text must still hold each line once, in order.
  std::ostringstream out;
  Sink s(out.rdbuf());
  const std::string filler(kOutputBlock - 100, '.');
  tavix_out(s, filler);
  start_collecting(s);
  std::string lines;
  for (int i = 0; i < 40; ++i) {
    const std::string line = "/L" + std::to_string(i) + ":64/r\n";
    char* at = open_line(s, 64);
    line.copy(at, line.size());
    close_line(s, line.size());
    tavix_out(s, "x\n");
    lines += line + "x\n";
  }
  file_measure_text(s, 1);  // begun in the block written, ended in the next
  tavix_out(s, "after\n");  // no longer collected
  flush_output(s);
  EXPECT_EQ(filler + lines + "after\n", out.str());
  EXPECT_EQ(lines, s.generated_measures[1].text);
  EXPECT_EQ("", measure_text(s));
}

// An output that accepts nothing, like a full disk.
class FullBuf : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
  int overflow(int) override { return traits_type::eof(); }
};

TEST(Sink, FailedWriteEndsTheRun) {
  FullBuf full;
  std::ostream out(&full);
  Sink s(out.rdbuf());
  tavix_out(s, "line\n");
  flush_output(s);
  EXPECT_TRUE(s.failed) << "a failed write passed as success";
  tavix_out(s, "more\n");
  flush_output(s);
  EXPECT_TRUE(s.failed);  // and stays failed
}

TEST(Sink, TextsLongerThanTheOutputBlockPassWhole) {
  std::ostringstream out;
  Sink s(out.rdbuf());
  std::string expected;
  for (size_t size : {size_t{70000}, size_t{5}, size_t{200000}, size_t{65535}, size_t{1}}) {
    std::string text(size, 'x');
    for (size_t i = 0; i < size; i += 997) text[i] = static_cast<char>('a' + i % 26);
    tavix_out(s, text);
    expected += text;
  }
  flush_output(s);
  EXPECT_EQ(expected, out.str());
}

TEST(LineBuf, WritesNumbersAndTextAsFormattedWould) {
  struct Case {
    long long value;
    const char* text;
  } const cases[] = {
      {0, "0"},     {7, "7"},     {10, "10"},       {99, "99"},
      {100, "100"}, {381, "381"}, {999, "999"},     {1000, "1000"},
      {-1, "-1"},   {-16, "-16"}, {11444, "11444"}, {-2147483648LL, "-2147483648"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LineBuf<80> line;
    line.str("/L").num(c.value).str(":64/-\n");
    EXPECT_EQ(std::string("/L") + c.text + ":64/-\n", line.view());
  }
  // A line never grows past its buffer: a number that does not fit is left out whole, text is
  // cut.
  LineBuf<6> small;
  small.str("ab").num(123).num(456).str("xyz").str("!");
  EXPECT_EQ("ab123x", small.view());
}

}  // namespace
}  // namespace pn2tavix::detail
