// The settings dialog of types 25-27 without a toolkit: the country from the device's packet,
// the rows each country shows, the entries and value texts of the rows, the user's choices,
// "По умолч" and the packet OK sends.
#include "app/process_value_form.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "device/unit.h"
#include "tests/support/example_schema.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kLaser = 1;  // positions in the example's field list
constexpr size_t kCity = 2;

// A form on `csv`, loaded from a device packet whose payload is `payload`.
struct Form {
  explicit Form(std::string_view csv, const Bytes& payload = {}) {
    std::ofstream(folder / "Schema.csv", std::ios::binary) << csv;
    Bytes frame(24, 0);
    frame[22] = static_cast<uint8_t>(payload.size());
    frame.insert(frame.end(), payload.begin(), payload.end());
    loaded = form.LoadFromDevice(frame, header, version, message);
  }

  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (const GridGroup& group : form.Grid()) {
      for (const GridProperty& property : group.properties) {
        rows.push_back(group.category + "/" + property.name + "=" + property.value);
      }
    }
    return rows;
  }
  const GridProperty& Row(size_t field) const {
    for (const GridGroup& group : form.Grid()) {
      for (const GridProperty& property : group.properties) {
        if (property.field == field) {
          return property;
        }
      }
    }
    throw std::out_of_range("no row for the field");
  }
  int32_t Value(size_t field) const { return form.Schema().fields[field].value; }

  testing::ScopedTempDir folder{"korvan_schema_form"};
  ProcessValueForm form{folder / "Schema.csv"};
  SettingsPacketHeader header{};
  std::string version;
  std::string message;
  bool loaded = false;
};

// The example's payload with the country byte `country` and values for Laser and City 1.
Bytes Payload(uint8_t country) {
  Bytes payload(64, 0);
  payload[62] = country;
  payload[5] = 1;
  payload[9] = 10;
  return payload;
}

TEST(ProcessValueFormTest, TheDevicesCountryChoosesTheRows) {
  struct Case {
    uint8_t country;
    const char* entry;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {0, "RUS", {"Radar/Laser=Вкл", "GPS/City 1 range=500 m"}},
      {1, "UZB", {"Radar/Laser=Вкл", "GPS/City 1 range=500 m"}},
      {2, "TJK", {"Radar/Laser=Вкл"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    Form f(testing::kExampleSchemaCsv, Payload(c.country));
    ASSERT_TRUE(f.loaded) << f.message;
    EXPECT_EQ(f.form.CountryEntries(), (std::vector<std::string>{"RUS", "UZB", "TJK"}));
    EXPECT_EQ(f.form.CountrySelection(), c.country);
    EXPECT_EQ(f.Rows(), c.rows);
  }
}

TEST(ProcessValueFormTest, CountryChangeHidesRowsAndDefaultsFollowIt) {
  Form f(testing::kExampleSchemaCsv, Payload(1));
  f.form.OnCountryChanged(2);  // TJK
  EXPECT_EQ(f.Rows(), (std::vector<std::string>{"Radar/Laser=Вкл"}));
  EXPECT_EQ(f.Value(kCity), 10) << "a hidden field keeps its value";
  EXPECT_EQ(f.Value(kLaser), 1);

  f.form.OnDefaults();  // every field, the hidden and the country one included
  EXPECT_EQ(f.Value(0), 2);
  EXPECT_EQ(f.Value(kLaser), 0);
  EXPECT_EQ(f.Value(kCity), 4);
  EXPECT_EQ(f.Rows(), (std::vector<std::string>{"Radar/Laser=Вык"}));

  std::vector<uint8_t> packet;
  ASSERT_TRUE(f.form.BuildUploadPacket(f.header, packet));
  ASSERT_EQ(packet.size(), 24U + 64U);
  EXPECT_EQ(packet[24 + 62], 2);
  EXPECT_EQ(packet[24 + 9], 4);
}

TEST(ProcessValueFormTest, RowsOfferTheirEntriesAndTakeTheChoice) {
  Form f(testing::kExampleSchemaCsv, Payload(0));
  const GridProperty& city = f.Row(kCity);
  ASSERT_EQ(city.options.size(), 14U);
  EXPECT_EQ(city.options.front(), "100 m");
  EXPECT_EQ(city.options.back(), "1400 m");
  EXPECT_EQ(std::count(city.options.begin(), city.options.end(), "350 m"), 0);
  EXPECT_EQ(f.Row(kLaser).options, (std::vector<std::string>{"Вык", "Вкл"}));
  EXPECT_EQ(f.Row(kLaser).description, "Laser detection on or off");

  f.form.OnPropertyChanged(kCity, "400 m");
  EXPECT_EQ(f.Value(kCity), 8);
  EXPECT_EQ(f.Row(kCity).value, "400 m");
  f.form.OnPropertyChanged(kLaser, "Вык");
  EXPECT_EQ(f.Value(kLaser), 0);
  f.form.OnPropertyChanged(kCity, "no such entry");
  EXPECT_EQ(f.Value(kCity), 8) << "an unknown text keeps the value";
}

TEST(ProcessValueFormTest, AnUnsetValueBeyondTheDevicesPayloadShowsAndWrites255) {
  Form f(testing::kExampleSchemaCsv, Bytes(9, 0));  // bytes 0-8: City 1 range at 9 lies beyond
  ASSERT_TRUE(f.loaded) << f.message;
  EXPECT_EQ(f.Row(kCity).value, "12750 m");
  std::vector<uint8_t> packet;
  ASSERT_TRUE(f.form.BuildUploadPacket(f.header, packet));
  EXPECT_EQ(packet[24 + 9], 0xFF);
}

TEST(ProcessValueFormTest, EntriesOfOddSchemas) {
  const std::string header =
      "rowtype,type,name,category,index,display,value,min,max,unit,scale,suffix,hint,options\n";
  struct Case {
    const char* row;
    std::vector<std::string> options;
    const char* pick;  // then the value text the row shows
    const char* shown;
    const char* description;
  };
  const Case cases[] = {
      {"field,number,Volume,S,1,7,1,0,10,5,1,,one\\ntwo\\u2028three,",
       {"0 ", "5 ", "10 "},
       "5 ",
       "5 ",
       "one\ntwo\nthree"},
      // An enum narrower than its option list shows the value it can take.
      {"field,enum,Mode,S,1,7,0,0,1,1,1,,,A|B|C", {"A", "B", "C"}, "C", "B", ""},
      // Ranges that reach beyond a byte (a negative max or a min above 255 are swapped in):
      // only what a byte holds is offered.
      {"field,number,Low,S,1,7,0,0,-2147483648,1,1,,,", {"0 "}, "0 ", "0 ", ""},
      {"field,number,High,S,1,7,0,300,255,1,1,,,", {"255 "}, "255 ", "255 ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    Form f(header + c.row + "\n", Bytes(2, 0));
    ASSERT_TRUE(f.loaded) << f.message;
    EXPECT_EQ(f.Row(0).options, c.options);
    EXPECT_EQ(f.Row(0).description, c.description);
    f.form.OnPropertyChanged(0, c.pick);
    EXPECT_EQ(f.Row(0).value, c.shown);
  }
}

TEST(ProcessValueFormTest, LoadFailuresSayWhy) {
  struct Case {
    std::string csv;
    Bytes frame;
    const char* message;
  };
  Bytes longer(24, 0);
  longer[22] = 5;
  const Case cases[] = {
      {"", Bytes(24, 0), "CSV 비어있음"},
      {std::string(testing::kExampleSchemaCsv), Bytes(10, 0), "패킷 길이 부족"},
      {std::string(testing::kExampleSchemaCsv), longer, "길이 필드가 실제 데이터보다 큼 : 5"},
  };
  for (const Case& c : cases) {
    testing::ScopedTempDir folder("korvan_schema_fail");
    std::ofstream(folder / "Schema.csv", std::ios::binary) << c.csv;
    ProcessValueForm form(folder / "Schema.csv");
    SettingsPacketHeader header{};
    std::string version;
    std::string message;
    EXPECT_FALSE(form.LoadFromDevice(c.frame, header, version, message));
    EXPECT_EQ(message, c.message);
  }
}

TEST(ProcessValueFormTest, FrameOfTheDevicesUnit) {
  UnitBuffer unit{};
  unit[22] = 0x80;
  EXPECT_EQ(SettingsPacketFrame(unit).size(), 152U);
  unit[22] = 0xE9;
  unit[23] = 0x03;
  EXPECT_EQ(SettingsPacketFrame(unit).size(), 1024U);
}

}  // namespace
}  // namespace korvan
