#include "driver/sink.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>

#include "driver/errors.h"
#include "driver/line.h"

namespace {

TEST(Sink, CollectsOnlyWhileCollectingIsOn) {
  std::ostringstream out;
  Sink s(out);
  tavix_out(s, "a\n");
  s.tavix_out_buffering = true;
  tavix_out(s, "b\n");
  tavix_out(s, "b\n");
  s.tavix_out_buffering = false;
  tavix_out(s, "c %d\\n\n");  // written as it is, never taken as a format
  flush_output(s);
  EXPECT_EQ("a\nb\nb\nc %d\\n\n", out.str());
  EXPECT_EQ("b\nb\n", s.measure_text());
}

TEST(Sink, FilingKeepsTheMeasureTextAndReplayWritesIt) {
  std::ostringstream out;
  Sink s(out);
  s.tavix_out_buffering = true;
  tavix_out(s, "x\n");
  s.tavix_out_buffering = false;
  file_measure_text(s, 1);
  file_measure_text(s, 2);  // nothing collected in between: the same text twice
  empty_measure_text(s);
  file_measure_text(s, 3);  // an empty text is still a stored measure
  EXPECT_EQ(StoredMeasure::kText, stored_state(s, 3));
  EXPECT_EQ(StoredMeasure::kNone, stored_state(s, 4));
  EXPECT_EQ(StoredMeasure::kNone, stored_state(s, 0));
  EXPECT_EQ(StoredMeasure::kNone, stored_state(s, kMaxMeasures + 1));

  s.tavix_out_buffering = true;  // a replay while collecting is collected too
  replay_measure(s, 2);
  replay_measure(s, 3);
  file_copy_of_measure(s, 1, 4);
  flush_output(s);
  EXPECT_EQ("x\nx\n", out.str());  // collected once, replayed once
  EXPECT_EQ("x\n", s.measure_text());
  EXPECT_EQ("x\n", s.generated_measures[4].text);

  clear_store(s);
  for (int m = 1; m <= 4; ++m) EXPECT_EQ(StoredMeasure::kNone, stored_state(s, m));
}

TEST(Sink, MeasureTextStaysBoundedAndIsMarkedTooLong) {
  std::ostringstream out;
  Sink s(out);
  s.tavix_out_buffering = true;
  const std::string chunk(1000, 'n');
  for (int i = 0; i < 6; ++i) tavix_out(s, chunk);  // 6000 characters, over the bound
  EXPECT_LE(s.measure_text().size(), kMeasureTextMax);
  file_measure_text(s, 7);
  EXPECT_EQ(StoredMeasure::kTooLong, stored_state(s, 7));
  flush_output(s);
  EXPECT_EQ(6000u, out.str().size());  // the output itself loses nothing
  empty_measure_text(s);
  tavix_out(s, "ok");
  file_measure_text(s, 8);
  EXPECT_EQ(StoredMeasure::kText, stored_state(s, 8));
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
  Sink s(out);
  tavix_out(s, "line\n");
  try {
    flush_output(s);
    FAIL() << "a failed write passed as success";
  } catch (const RunError& e) {
    EXPECT_EQ(kExitError, e.status());
    EXPECT_EQ(0, std::string(e.what()).rfind("Error writing standard output", 0));
  }
}

TEST(Sink, TextsLongerThanTheOutputBlockPassWhole) {
  std::ostringstream out;
  Sink s(out);
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
    line.str("/L").num(c.value).str(":64/").chr_if(false, '+').chr_if(true, '-').chr('\n');
    EXPECT_EQ(std::string("/L") + c.text + ":64/-\n", line.view());
  }
  // A line never grows past its buffer: a number that does not fit is left out whole, text is
  // cut.
  LineBuf<6> small;
  small.str("ab").num(123).num(456).str("xyz").chr('!').chr_if(true, '?');
  EXPECT_EQ("ab123x", small.view());
}

}  // namespace
