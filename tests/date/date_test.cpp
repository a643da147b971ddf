// Date.qbl through its entry points, loaded by the field-type host with the scripted host behind
// it, the shipped English texts, a fixed clock in UTC and the registry in a temporary directory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "sdk/services.h"
#include "tests/support/service_test.h"

namespace qb::test {
namespace {

using ::testing::ElementsAre;

constexpr FieldTypeId kDate = 0x10402, kOldDate = 0x10401;

// The stored form of a Date field.
std::vector<uint8_t> Bytes(int day, int month, int year, int kind = 0, const std::string& name = "",
                           const std::string& text = "") {
  std::vector<uint8_t> out;
  for (int v : {day, month, year, kind})
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0);
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
  return out;
}

// Unix seconds of a UTC calendar time.
int64_t At(int year, int month, int day, int hour = 12) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  return static_cast<int64_t>(timegm(&tm));
}

class DateTest : public ServiceTest {
 protected:
  DateTest() {
    setenv("TZ", "UTC", 1);
    tzset();
    Load();
  }
  ~DateTest() override {
    qb::main::State().field_types.Unload();
    qb::main::State().host_services.CurrentRecord = nullptr;
  }

  void Load() {
    const char* dir = std::getenv("QB_PLUGIN_DIR");
    auto& st = qb::main::State();
    st.field_types.Load(std::string(dir ? dir : ".") + "/", &st.info, &st.host_services,
                        &st.config_menu);
    auto& types = st.field_types;
    for (int i = 0; i < types.count(); ++i)
      if (types.slot(i).file_name == "Date.qbl") date_ = &types.slot(i);
    ASSERT_NE(date_, nullptr) << "Date.qbl not loaded";
  }
  // Leaves the library (which writes its settings), sets the given settings as another program
  // would, and starts it again.
  void Restart(const std::map<std::string, int32_t>& settings = {}) {
    qb::main::State().field_types.Unload();
    date_ = nullptr;
    HKEY key = OpenRegKey(host.info.RootKey, "BirthDay");
    for (const auto& [name, value] : settings) RegWriteNumber(key, name.c_str(), value);
    CloseRegKey(key);
    Load();
  }
  int32_t Stored(const char* name) {
    qb::main::State().field_types.Unload();
    date_ = nullptr;
    HKEY key = OpenRegKey(host.info.RootKey, "BirthDay");
    const int32_t value = RegReadNumber(key, name, -999, INT32_MIN, INT32_MAX);
    CloseRegKey(key);
    Load();
    return value;
  }

  static std::string Take(char* text) {
    std::string s = text != nullptr ? text : "<none>";
    Free(text);
    return s;
  }
  std::string Description(const std::vector<uint8_t>& field, FieldTypeId type = kDate) {
    char* out = nullptr;
    date_->GetDescription(&out, field.empty() ? nullptr : field.data(),
                          static_cast<uint32_t>(field.size()), type);
    return Take(out);
  }
  std::string Menu(const std::vector<uint8_t>& field) {
    char* out = nullptr;
    date_->GetMenuDescription(&out, field.data(), static_cast<uint32_t>(field.size()), kDate);
    return Take(out);
  }

  // One walk as the host makes it: before, each field, after. The before call's answer.
  int Walk(uint32_t event, const std::vector<std::vector<uint8_t>>& fields) {
    const int go = date_->OnEnter(nullptr, 0, 0, event, FTEV_BEFORE);
    if (go != 0) {
      for (const auto& f : fields)
        date_->OnEnter(f.data(), static_cast<uint32_t>(f.size()), kDate, event, 0);
    }
    date_->OnEnter(nullptr, 0, 0, event, FTEV_AFTER);
    return go;
  }
  // The reminder lines shown (the record and the date line of each box).
  std::vector<std::string> Reminders() {
    std::vector<std::string> lines;
    for (const auto& m : host.messages) {
      EXPECT_EQ(m.help, "Date_NotificationMsg");
      EXPECT_EQ(m.lines.size(), 4u);
      if (m.lines.size() == 4) lines.push_back(m.lines[1] + " | " + m.lines[2]);
    }
    host.messages.clear();
    return lines;
  }

  const qb::main::FieldTypeSlot* date_ = nullptr;
};

TEST_F(DateTest, DescribesItselfAndClaimsItsBlock) {
  EXPECT_STREQ(date_->info->Name, "Date");
  EXPECT_STREQ(date_->info->Token, "D");
  EXPECT_STREQ(date_->info->MenuName, "Date");
  EXPECT_EQ(date_->info->Flags, 0x1B1001u);
  EXPECT_EQ(date_->info->NewId, kDate);
  EXPECT_TRUE(date_->Claims(0x10400));
  EXPECT_TRUE(date_->Claims(0x104FF));
  EXPECT_FALSE(date_->Claims(0x10500));
  EXPECT_EQ(date_->DoSomething, nullptr);
  EXPECT_EQ(date_->SendFile, nullptr);
  EXPECT_NE(date_->ConfigurePlugin, nullptr);
}

// ---- Showing a date ----------------------------------------------------------------------------

struct StyleCase {
  int show_month;
  const char* text;
};
class DateStyleTest : public DateTest, public ::testing::WithParamInterface<StyleCase> {};

TEST_P(DateStyleTest, ShowsTheDateInTheConfiguredStyle) {
  Restart({{"ShowMonth", GetParam().show_month}});
  EXPECT_EQ(Description(Bytes(5, 8, 1980)), GetParam().text);
  EXPECT_EQ(Menu(Bytes(5, 8, 1980, 1)), std::string("Name day: ") + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Styles, DateStyleTest,
                         ::testing::Values(StyleCase{0, "05.08.1980"}, StyleCase{1, "05.VIII.1980"},
                                           StyleCase{2, "05 August 1980"},
                                           StyleCase{3, "05 Aug 1980"},
                                           // Out of range: the default, Roman.
                                           StyleCase{4, "05.VIII.1980"}));

TEST_F(DateTest, PanelItemNamesTheKindAndDescribesTheDate) {
  PluginPanelItem item{};
  item.UserData = 77;
  const auto own = Bytes(24, 12, 2001, 255, "Graduation", "Graduation of %s");
  date_->GetPanelItem(&item, own.data(), static_cast<uint32_t>(own.size()), kDate);
  EXPECT_STREQ(item.FindData.cFileName, "Graduation");
  EXPECT_STREQ(item.Description, "24.XII.2001");
  EXPECT_EQ(item.FindData.nFileSizeLow, own.size());
  EXPECT_EQ(item.UserData, 77u);
  // The clock's time, as a file time.
  const uint64_t ticks = (uint64_t{item.FindData.ftLastWriteTime.dwHighDateTime} << 32) |
                         item.FindData.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(ticks, qb::clock::UnixToTicks(1700000000));
  Free(item.Description);

  // A kind beyond the list is the unknown kind; a name too long for the panel is cut at a whole
  // character.
  std::string long_name;
  for (int i = 0; i < 1000; ++i) long_name += "я";
  const auto beyond = Bytes(1, 1, 2000, 250);
  const auto too_long = Bytes(1, 1, 2000, 255, long_name);
  PluginPanelItem a{}, b{};
  date_->GetPanelItem(&a, beyond.data(), static_cast<uint32_t>(beyond.size()), kDate);
  date_->GetPanelItem(&b, too_long.data(), static_cast<uint32_t>(too_long.size()), kDate);
  EXPECT_STREQ(a.FindData.cFileName, "Unknown date");
  // An own kind without a name is named after the type.
  const auto unnamed = Bytes(1, 1, 2000, 255);
  PluginPanelItem c{};
  date_->GetPanelItem(&c, unnamed.data(), static_cast<uint32_t>(unnamed.size()), kDate);
  EXPECT_STREQ(c.FindData.cFileName, "Date");
  Free(c.Description);
  EXPECT_EQ(std::string(b.FindData.cFileName), long_name.substr(0, 258));
  Free(a.Description);
  Free(b.Description);
}

TEST_F(DateTest, ExportsTheNumbersAndBothTexts) {
  const auto own = Bytes(3, 4, 1999, 255, "Exam", "Exam of %s");
  char* text = nullptr;
  date_->WriteTextData(own.data(), static_cast<uint32_t>(own.size()), kDate, &text);
  EXPECT_EQ(Take(text), "3 4 1999 255\nExam\nExam of %s");

  char* buf = nullptr;
  size_t len = 0;
  FILE* file = open_memstream(&buf, &len);
  const auto birthday = Bytes(3, 4, 1999);
  date_->WriteTextFile(file, birthday.data(), static_cast<uint32_t>(birthday.size()), kDate);
  std::fclose(file);
  EXPECT_EQ(std::string(buf, len), "Birthday: 03.IV.1999\n");
  std::free(buf);

  // The export text is cut at 1023 characters, at a whole character.
  std::string long_text(1500, 'x');
  const auto huge = Bytes(1, 1, 2000, 255, "n", long_text);
  date_->WriteTextData(huge.data(), static_cast<uint32_t>(huge.size()), kDate, &text);
  EXPECT_EQ(Take(text).size(), 1023u);
}

// Fields from a book are not trusted: whatever their bytes, nothing is read past their size and
// what is out of range shows as "??".
TEST_F(DateTest, BrokenFieldsShowWhatTheyHaveAndNothingMore) {
  EXPECT_EQ(Description({}), "??.??.??");
  EXPECT_EQ(Description(Bytes(0, 13, -5)), "??.??.??");
  EXPECT_EQ(Description(Bytes(31, 12, 10000)), "31.XII.??");

  // Eight bytes: a day and a month, no year, no kind.
  auto full = Bytes(7, 6, 1990);
  std::vector<uint8_t> short_field(full.begin(), full.begin() + 8);
  EXPECT_EQ(Description(short_field), "07.VI.??");
  EXPECT_EQ(Menu(short_field), "Birthday: 07.VI.??");

  // An own kind whose name has no terminator ends at the field's end; the reminder text is gone.
  auto own = Bytes(1, 2, 2003, 255, "Party");
  own.resize(own.size() - 2);  // cuts the name's zero and the text's
  std::vector<uint8_t> exact(own.begin(), own.end());
  EXPECT_EQ(Menu(exact), "Party: 01.II.2003");
  char* text = nullptr;
  date_->WriteTextData(exact.data(), static_cast<uint32_t>(exact.size()), kDate, &text);
  EXPECT_EQ(Take(text), "1 2 2003 255\nParty\n");

  // Day 0 and month 13 name no day: no reminder, whatever the window.
  qb::clock::SetFixedTime(At(2023, 6, 1));
  Restart({{"DaysBefore", 365}});
  Walk(FTEV_SCAN, {Bytes(0, 6, 2000), Bytes(1, 13, 2000), short_field});
  EXPECT_THAT(Reminders(), ElementsAre("Birthday of <unknown> | 07.VI.??, in 6 days"));
}

TEST_F(DateTest, UpgradesTheOldFormAndRefusesOtherTypes) {
  const auto whole = Bytes(9, 10, 1971);
  const std::vector<uint8_t> old(whole.begin(), whole.begin() + 12);
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId type = 0;
  ASSERT_EQ(date_->Upgrade(old.data(), 12, kOldDate, &data, &size, &type), 1);
  EXPECT_EQ(size, 18u);
  EXPECT_EQ(type, kDate);
  const auto* bytes = static_cast<const uint8_t*>(data);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + size), Bytes(9, 10, 1971, 0));
  Free(data);

  data = nullptr;
  EXPECT_EQ(date_->Upgrade(old.data(), 12, 0x10400, &data, &size, &type), 0);
  EXPECT_EQ(date_->Upgrade(old.data(), 12, kDate, &data, &size, &type), 0);
  EXPECT_EQ(data, nullptr);
  // An old field shorter than its 12 bytes keeps what it has.
  ASSERT_EQ(date_->Upgrade(old.data(), 5, kOldDate, &data, &size, &type), 1);
  EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size),
            Bytes(9, 0, 0, 0));
  Free(data);
}

// ---- Reminders -------------------------------------------------------------------------------

TEST_F(DateTest, TwentyNinthOfFebruaryInACommonYearIsTheFirstOfMarch) {
  qb::clock::SetFixedTime(At(2023, 3, 1));
  qb::main::State().host_services.CurrentRecord = "Leap";
  Walk(FTEV_SCAN, {Bytes(29, 2, 1996), Bytes(28, 2, 1996)});
  // 28 February is past: next year's is 364 days away, beyond the window.
  EXPECT_THAT(Reminders(), ElementsAre("Birthday of Leap | Today: 29.II.1996"));
}

TEST_F(DateTest, ADateEarlyNextYearIsCountedAcrossTheNewYear) {
  qb::clock::SetFixedTime(At(2023, 12, 30));
  qb::main::State().host_services.CurrentRecord = "Bob";
  Walk(FTEV_SCAN, {Bytes(2, 1, 1950), Bytes(8, 1, 1950), Bytes(31, 12, 1950, 2)});
  EXPECT_THAT(Reminders(), ElementsAre("Birthday of Bob | 02.I.1950, in 3 days",
                                       "Wedding anniversary of Bob | Tomorrow: 31.XII.1950"));
}

TEST_F(DateTest, AWindowOfNoDaysShowsOnlyTheRemindersDay) {
  // At midnight's shift (A = 0) that is today.
  qb::clock::SetFixedTime(At(2023, 3, 10, 2));
  Restart({{"DaysBefore", 0}});
  Walk(FTEV_SCAN, {Bytes(9, 3, 1980), Bytes(10, 3, 1980), Bytes(11, 3, 1980)});
  EXPECT_THAT(Reminders(), ElementsAre("Birthday of <unknown> | Today: 10.III.1980"));
  // Before the day begins at 04:00 (A = -1) it is still the 9th.
  Restart({{"DaysBefore", 0}, {"HourShift", 4}});
  Walk(FTEV_SCAN, {Bytes(9, 3, 1980), Bytes(10, 3, 1980), Bytes(11, 3, 1980)});
  EXPECT_THAT(Reminders(), ElementsAre("Birthday of <unknown> | 09.III.1980, in 0 days"));
}

TEST_F(DateTest, BeforeTheShiftedHourYesterdayIsStillInTheWindow) {
  qb::clock::SetFixedTime(At(2023, 3, 10, 2));
  Restart({{"HourShift", 4}});
  Walk(FTEV_SCAN, {Bytes(9, 3, 1980), Bytes(10, 3, 1980), Bytes(8, 3, 1980)});
  EXPECT_THAT(Reminders(), ElementsAre("Birthday of <unknown> | 09.III.1980, in 0 days",
                                       "Birthday of <unknown> | Today: 10.III.1980"));
  // From 04:00 on, the 9th is a year away.
  qb::clock::SetFixedTime(At(2023, 3, 10, 4));
  Walk(FTEV_SCAN, {Bytes(9, 3, 1980), Bytes(10, 3, 1980)});
  EXPECT_THAT(Reminders(), ElementsAre("Birthday of <unknown> | Today: 10.III.1980"));
  // A negative shift starts the day early: at 22:00 with -2 it is already the 11th.
  qb::clock::SetFixedTime(At(2023, 3, 10, 22));
  Restart({{"HourShift", -2}, {"DaysBefore", 0}});
  Walk(FTEV_SCAN, {Bytes(10, 3, 1980), Bytes(11, 3, 1980)});
  EXPECT_THAT(Reminders(), ElementsAre("Birthday of <unknown> | Tomorrow: 11.III.1980"));
}

TEST_F(DateTest, AutomaticWalksComeOnceADayAndAScanAlways) {
  qb::clock::SetFixedTime(At(2023, 5, 1));
  qb::main::State().host_services.CurrentRecord = "Ann";
  const std::vector<std::vector<uint8_t>> fields = {Bytes(2, 5, 1990)};
  EXPECT_EQ(Walk(FTEV_OPEN, fields), 1);
  EXPECT_EQ(Reminders().size(), 1u);
  // The same day: the open walk is vetoed, a start-up walk too; the user's scan is not.
  EXPECT_EQ(Walk(FTEV_OPEN, fields), 0);
  EXPECT_EQ(Walk(FTEV_START, fields), 0);
  EXPECT_TRUE(Reminders().empty());
  EXPECT_EQ(Walk(FTEV_SCAN, fields), 1);
  EXPECT_EQ(Reminders().size(), 1u);
  // The next day the automatic walk comes again; the day of the walk is what is remembered.
  qb::clock::SetFixedTime(At(2023, 5, 2));
  EXPECT_EQ(Walk(FTEV_OPEN, fields), 1);
  EXPECT_THAT(Reminders(), ElementsAre("Birthday of Ann | Today: 02.V.1990"));
  EXPECT_EQ(Stored("LastChecked"), 122);

  // Without the once-a-day rule every open reminds; with automatic reminders off none does.
  Restart({{"CheckOnceADay", 0}});
  EXPECT_EQ(Walk(FTEV_OPEN, fields), 1);
  EXPECT_EQ(Reminders().size(), 1u);
  Restart({{"CheckComingSoon", 0}, {"CheckOnceADay", 0}});
  EXPECT_EQ(Walk(FTEV_OPEN, fields), 0);
  // A field call of a walk another library asked for is refused as well.
  EXPECT_EQ(date_->OnEnter(fields[0].data(), 18, kDate, FTEV_OPEN, 0), 0);
  EXPECT_TRUE(Reminders().empty());
  EXPECT_EQ(Walk(FTEV_SCAN, fields), 1);
  EXPECT_EQ(Reminders().size(), 1u);
}

TEST_F(DateTest, ReminderTextsAreFilledSafelyAndCut) {
  qb::clock::SetFixedTime(At(2023, 5, 1));
  qb::main::State().host_services.CurrentRecord = "Zoe";
  // A text of the user's own with places that have no argument: printed as written.
  const auto own = Bytes(1, 5, 2000, 255, "Mine", "%d%% %s %s %n");
  std::string long_record(400, 'r');
  Walk(FTEV_SCAN, {own});
  EXPECT_THAT(Reminders(), ElementsAre("%d% Zoe %s %n | Today: 01.V.2000"));
  qb::main::State().host_services.CurrentRecord = long_record.c_str();
  Walk(FTEV_SCAN, {Bytes(1, 5, 2000)});
  const auto lines = Reminders();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Birthday of " + std::string(255 - 12, 'r') + " | Today: 01.V.2000");
}

TEST_F(DateTest, AWalkOnTheLastDayOfALeapYearIsRememberedAsNoDay) {
  qb::clock::SetFixedTime(At(2024, 12, 31));
  Walk(FTEV_OPEN, {});
  EXPECT_EQ(Stored("LastChecked"), 366);
  // 366 is outside what the setting holds: read back, it is the default.
  EXPECT_EQ(Stored("LastChecked"), 0);
}

TEST_F(DateTest, SettingsOutOfRangeReadAsTheirDefaults) {
  Restart({{"DaysBefore", 500}, {"HourShift", 25}, {"ShowMonth", -1}, {"CheckOnceADay", 2}});
  EXPECT_EQ(Stored("DaysBefore"), 7);
  EXPECT_EQ(Stored("HourShift"), 0);
  EXPECT_EQ(Stored("ShowMonth"), 1);
  EXPECT_EQ(Stored("CheckOnceADay"), 1);
  Restart({{"DaysBefore", 365}, {"HourShift", -24}});
  EXPECT_EQ(Stored("DaysBefore"), 365);
  EXPECT_EQ(Stored("HourShift"), -24);
}

// ---- Dialogs ---------------------------------------------------------------------------------

// Items of the edit dialog with the six shipped kinds.
constexpr int kDay = 2, kMonth = 4, kYear = 6, kFirstKind = 7, kOwn = 13, kOwnName = 14,
              kOwnText = 16, kOk = 17;

struct Edited {
  int result;
  std::vector<uint8_t> data;
  FieldTypeId type;
};

class DateEditTest : public DateTest {
 protected:
  Edited Edit(const std::vector<uint8_t>& field, DialogAnswer answer) {
    host.dialog_answers.push_back(std::move(answer));
    void* data = nullptr;
    uint32_t size = 0;
    FieldTypeId type = 0;
    Edited e{};
    e.result =
        date_->EditContents(field.empty() ? nullptr : field.data(),
                            static_cast<uint32_t>(field.size()), kDate, &data, &size, &type, 1);
    if (data != nullptr)
      e.data.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    e.type = type;
    Free(data);
    return e;
  }
  static DialogAnswer Typing(std::map<int, std::string> texts, int close = kOk) {
    return [texts, close](FarDialogItem* items, int) {
      for (const auto& [index, text] : texts)
        std::snprintf(items[index].Data, sizeof items[index].Data, "%s", text.c_str());
      return close;
    };
  }
};

TEST_F(DateEditTest, ANewFieldStartsOnTheFirstOfJanuary1980) {
  const Edited e = Edit({}, Typing({}));
  ASSERT_EQ(host.dialogs.size(), 1u);
  const auto& d = host.dialogs[0];
  EXPECT_EQ(d.help, "Date_EditDlg");
  EXPECT_EQ(d.x2, 60);
  EXPECT_EQ(d.y2, 6 + 12);
  EXPECT_EQ(d.items.size(), 19u);
  EXPECT_EQ(d.lines[0], "Date");
  EXPECT_EQ(d.lines[kDay], "1");
  EXPECT_EQ(d.lines[kYear], "1980");
  EXPECT_EQ(d.items[kFirstKind].Selected, 1);
  EXPECT_EQ(d.items[kFirstKind].Flags & DIF_GROUP, DIF_GROUP);
  EXPECT_EQ(d.lines[kFirstKind + 5], "Meeting");
  EXPECT_EQ(d.items[kOwn].Y1, 5 + 6);
  EXPECT_EQ(d.items[kOwnText].Y1, 6 + 6);
  EXPECT_EQ(e.result, 1);
  EXPECT_EQ(e.type, kDate);
  EXPECT_EQ(e.data, Bytes(1, 1, 1980, 0));
}

// Our host's table is larger than 336 bytes, so with a month style other than numbers the month
// is a list of the style's names.
TEST_F(DateEditTest, TheMonthIsPickedFromAListOfTheStylesNames) {
  ASSERT_GT(sizeof(PluginStartupInfo), 336u);
  // The list lives as long as the dialog: it is read while the dialog is shown.
  auto entries = [](std::vector<std::string>* names, int* selected, const char* pick) {
    return [names, selected, pick](FarDialogItem* items, int) {
      const FarDialogItem& month = items[kMonth];
      EXPECT_EQ(month.Type, DI_COMBOBOX);
      EXPECT_EQ(month.X1, 22);
      EXPECT_EQ(month.X2, 35);
      EXPECT_EQ(items[kDay].X2, 12);
      EXPECT_EQ(items[3].X1, 15);
      if (month.ListItems == nullptr) return -1;
      for (int k = 0; k < month.ListItems->ItemsNumber; ++k) {
        names->push_back(month.ListItems->Items[k].Text);
        if (month.ListItems->Items[k].Flags & LIF_SELECTED) *selected = k;
      }
      std::snprintf(items[kMonth].Data, sizeof items[kMonth].Data, "%s", pick);
      return kOk;
    };
  };
  std::vector<std::string> names;
  int selected = -1;
  Restart({{"ShowMonth", 2}});
  Edited e = Edit(Bytes(5, 8, 1980), entries(&names, &selected, "March"));
  ASSERT_EQ(names.size(), 12u);
  EXPECT_EQ(names[7], "August");
  EXPECT_EQ(selected, 7);
  EXPECT_EQ(e.data, Bytes(5, 3, 1980));

  names.clear();
  Restart({{"ShowMonth", 1}});
  e = Edit(Bytes(5, 8, 1980), entries(&names, &selected, "XII"));
  ASSERT_EQ(names.size(), 12u);
  EXPECT_EQ(names[7], "VIII");
  EXPECT_EQ(e.data, Bytes(5, 12, 1980));
  // A text that is none of the entries keeps the month.
  e = Edit(Bytes(5, 8, 1980), entries(&names, &selected, "Smarch"));
  EXPECT_EQ(e.data, Bytes(5, 8, 1980));
}

TEST_F(DateEditTest, NumbersOnlyWhenTheStyleIsNumericOrTheHostIsOld) {
  Restart({{"ShowMonth", 0}});
  Edited e = Edit(Bytes(5, 8, 1980), Typing({{kMonth, "11"}}));
  EXPECT_EQ(host.dialogs[0].items[kMonth].Type, DI_EDIT);
  EXPECT_EQ(host.dialogs[0].items[kMonth].X1, 27);
  EXPECT_EQ(host.dialogs[0].items[kDay].X2, 15);
  EXPECT_EQ(host.dialogs[0].lines[kMonth], "8");
  EXPECT_EQ(e.data, Bytes(5, 11, 1980));

  qb::main::State().field_types.Unload();
  qb::main::State().info.StructSize = 336;
  Restart({{"ShowMonth", 2}});
  Edit(Bytes(5, 8, 1980), Typing({}));
  EXPECT_EQ(host.dialogs[1].items[kMonth].Type, DI_EDIT);
}

struct YearCase {
  const char* typed;
  int stored;
};
class DateYearTest : public DateEditTest, public ::testing::WithParamInterface<YearCase> {};

TEST_P(DateYearTest, TwoDigitYearsAreMadeFourDigit) {
  const Edited e = Edit(Bytes(5, 8, 1980), Typing({{kYear, GetParam().typed}}));
  EXPECT_EQ(e.data, Bytes(5, 8, GetParam().stored));
}

INSTANTIATE_TEST_SUITE_P(Years, DateYearTest,
                         ::testing::Values(YearCase{"5", 2005}, YearCase{"69", 2069},
                                           YearCase{"70", 1970}, YearCase{"85", 1985},
                                           YearCase{"100", 100}, YearCase{"2024", 2024}));

TEST_F(DateEditTest, AnOwnKindKeepsItsNameAndReminderText) {
  const Edited e = Edit(Bytes(1, 1, 2000), [](FarDialogItem* items, int) {
    items[kFirstKind].Selected = 0;
    items[kOwn].Selected = 1;
    std::snprintf(items[kOwnName].Data, sizeof items[kOwnName].Data, "Exam");
    std::snprintf(items[kOwnText].Data, sizeof items[kOwnText].Data, "Exam of %%s");
    return kOk;
  });
  EXPECT_EQ(e.data, Bytes(1, 1, 2000, 255, "Exam", "Exam of %s"));
  EXPECT_EQ(e.data.size(), 18u + 4 + 10);

  // Shown again, the dialog starts from them.
  Edit(e.data, Typing({}, -1));
  EXPECT_EQ(host.dialogs[1].items[kOwn].Selected, 1);
  EXPECT_EQ(host.dialogs[1].lines[kOwnName], "Exam");
  EXPECT_EQ(host.dialogs[1].lines[kOwnText], "Exam of %s");
}

TEST_F(DateEditTest, CancellingOrAnOutOfRangeDayChangesNothing) {
  const Edited cancelled = Edit(Bytes(1, 1, 2000), Typing({{kDay, "9"}}, -1));
  EXPECT_EQ(cancelled.result, 0);
  EXPECT_TRUE(cancelled.data.empty());
  EXPECT_EQ(cancelled.type, 0u);

  // Day 32 is refused with the range error and the dialog opens again.
  host.dialog_answers.push_back(Typing({{kDay, "32"}}));
  const Edited e = Edit(Bytes(1, 1, 2000), Typing({}, -1));
  EXPECT_EQ(e.result, 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_THAT(host.messages[0].lines, ElementsAre("Error", "From 1 to 31", "OK"));
}

TEST_F(DateEditTest, EditingABrokenFieldStartsFromValuesInRange) {
  Restart({{"ShowMonth", 0}});
  auto broken = Bytes(0, 13, -5, 250);
  const Edited e = Edit(broken, Typing({}));
  EXPECT_EQ(host.dialogs[0].lines[kDay], "1");
  EXPECT_EQ(host.dialogs[0].lines[kMonth], "12");
  EXPECT_EQ(host.dialogs[0].lines[kYear], "1");
  // No kind is selected for an index beyond the list, and the index is kept.
  for (int k = kFirstKind; k <= kOwn; ++k) EXPECT_EQ(host.dialogs[0].items[k].Selected, 0) << k;
  EXPECT_EQ(e.data, Bytes(1, 12, 2001, 250));
}

TEST_F(DateEditTest, ViewingShowsTheDateInAMessage) {
  const auto field = Bytes(5, 8, 1980);
  EXPECT_EQ(date_->EditContents(field.data(), static_cast<uint32_t>(field.size()), kDate, nullptr,
                                nullptr, nullptr, 0),
            1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Date_ViewMsg");
  EXPECT_EQ(host.messages[0].buttons, 1);
  EXPECT_THAT(host.messages[0].lines, ElementsAre("Date", "05.VIII.1980", "OK"));
}

// Items of the configuration dialog.
constexpr int kStyle0 = 2, kComingSoon = 6, kDaysBefore = 7, kOnceADay = 9, kHourShift = 11,
              kConfigOk = 13;

TEST_F(DateEditTest, ConfigurationTakesEffectAtOnceAndIsKeptAtExit) {
  host.dialog_answers.push_back([](FarDialogItem* items, int) {
    items[kStyle0 + 1].Selected = 0;
    items[kStyle0 + 3].Selected = 1;
    std::snprintf(items[kDaysBefore].Data, sizeof items[kDaysBefore].Data, "30");
    std::snprintf(items[kHourShift].Data, sizeof items[kHourShift].Data, "-3");
    items[kOnceADay].Selected = 0;
    return kConfigOk;
  });
  EXPECT_EQ(date_->ConfigurePlugin(), 1);
  ASSERT_EQ(host.dialogs.size(), 1u);
  const auto& d = host.dialogs[0];
  EXPECT_EQ(d.help, "Date_Config");
  EXPECT_EQ(d.x2, 60);
  EXPECT_EQ(d.y2, 18);
  EXPECT_EQ(d.lines[kDaysBefore], "7");
  EXPECT_EQ(d.items[kComingSoon].Selected, 1);
  EXPECT_EQ(d.items[kStyle0 + 1].Selected, 1);
  EXPECT_EQ(Description(Bytes(5, 8, 1980)), "05 Aug 1980");
  EXPECT_EQ(Stored("ShowMonth"), 3);
  EXPECT_EQ(Stored("DaysBefore"), 30);
  EXPECT_EQ(Stored("HourShift"), -3);
  EXPECT_EQ(Stored("CheckOnceADay"), 0);

  // Cancelled: nothing changes.
  host.dialog_answers.push_back([](FarDialogItem* items, int) {
    std::snprintf(items[kDaysBefore].Data, sizeof items[kDaysBefore].Data, "1");
    return -1;
  });
  EXPECT_EQ(date_->ConfigurePlugin(), 0);
  EXPECT_EQ(Stored("DaysBefore"), 30);
}

// A window longer than the setting can hold would be lost at the next start: the dialog refuses
// it there and then.
TEST_F(DateEditTest, AWindowOfFiveHundredDaysIsRefused) {
  host.dialog_answers.push_back([](FarDialogItem* items, int) {
    std::snprintf(items[kDaysBefore].Data, sizeof items[kDaysBefore].Data, "500");
    return kConfigOk;
  });
  EXPECT_EQ(date_->ConfigurePlugin(), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines[1], "From 0 to 365");
  EXPECT_EQ(Stored("DaysBefore"), 7);
}

}  // namespace
}  // namespace qb::test
