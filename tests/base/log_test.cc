#include <gtest/gtest.h>

#include <string>

#include "base/log.h"
#include "base/switches.h"

namespace {

TEST(Log, TheEleventhErrorOverwritesTheFirstAndLongOnesAreCut) {
  ClearLogs();
  RecordError("%s", std::string(500, 'x').c_str());
  EXPECT_EQ(ErrorLogEntries().at(0), std::string(199, 'x'));
  for (int i = 1; i < 11; ++i) RecordError("error %d", i);
  auto entries = ErrorLogEntries();
  ASSERT_EQ(entries.size(), 10u);
  EXPECT_EQ(entries.front(), "error 1");
  EXPECT_EQ(entries.back(), "error 10");
  EXPECT_EQ(ErrorCount(), 11);  // the dropped one still counts
}

TEST(Log, NotesOnlyWithADebugLevel) {
  ClearLogs();
  ResetSwitches();
  RecordNote("quiet");
  EXPECT_TRUE(NoteLogEntries().empty());
  SetSwitch(kSwitchDebugLevel, 1);
  RecordNote("heard %s", "this");
  EXPECT_EQ(NoteLogEntries(), std::vector<std::string>{"heard this"});
  ResetSwitches();
}

TEST(Switches, DefaultsAndBounds) {
  ResetSwitches();
  EXPECT_EQ(GetSwitch(0), 1);
  EXPECT_EQ(GetSwitch(3), 1);
  EXPECT_EQ(GetSwitch(4), 0);
  SetSwitch(5, 9);
  SetSwitch(-1, 9);
  EXPECT_EQ(GetSwitch(5), 0);
  SetSwitch(4, 2);
  EXPECT_EQ(GetSwitch(4), 2);
  ResetSwitches();
}

}  // namespace
