// Pieces of the `osl` command line that decide what a person reads: the
// publish result line, the note an interruption prints, option values given
// by name, and the server address check.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "standin/alerts/alert_center.h"
#include "standin/cli/interrupt.h"
#include "standin/cli/list_option.h"
#include "standin/cli/publish_result.h"
#include "standin/cli/server_address.h"
#include "standin/core/string_tables.h"

namespace osl_cli {
namespace {

PublishRecord Record(PublishRecord::Status status) {
  PublishRecord record;
  record.status = status;
  record.name = "Business Card";
  record.server = "http://127.0.0.1:8080";
  record.templateID = "0a1b2c3d-0000-4000-8000-000000000001";
  return record;
}

TEST(PublishResultLine, SaysPublishedUpdatedOrWhyNot) {
  EXPECT_EQ(
      "published 'Business Card' as 0a1b2c3d-0000-4000-8000-000000000001 to "
      "http://127.0.0.1:8080",
      PublishResultLine(Record(PublishRecord::Status::kPublished)));
  EXPECT_EQ(
      "updated 'Business Card' (0a1b2c3d-0000-4000-8000-000000000001) at http://127.0.0.1:8080",
      PublishResultLine(Record(PublishRecord::Status::kUpdated)));

  PublishRecord refused = Record(PublishRecord::Status::kNotPublished);
  refused.templateID.clear();
  refused.fault = PublishRecord::Fault::kCredentials;
  refused.reason = "wrong user or password";
  EXPECT_EQ("not published: wrong user or password (run `osl prefs`)", PublishResultLine(refused));

  refused.fault = PublishRecord::Fault::kNotConfigured;
  refused.reason = "no server is configured";
  EXPECT_EQ(
      "not published: no server is configured (run `osl prefs --server URL --user U --password "
      "P`)",
      PublishResultLine(refused));

  PublishRecord held = Record(PublishRecord::Status::kNotPublished);
  held.fault = PublishRecord::Fault::kTimeout;
  held.reason = "the service at http://127.0.0.1:8080 took too long to answer";
  held.serviceMayHoldUncommitted = true;
  EXPECT_EQ(
      "not published: the service at http://127.0.0.1:8080 took too long to answer; the service "
      "may now hold an uncommitted template 'Business Card' "
      "(0a1b2c3d-0000-4000-8000-000000000001)",
      PublishResultLine(held));

  // A record that never ended still says something.
  PublishRecord running = Record(PublishRecord::Status::kRunning);
  EXPECT_EQ("not published: the publish ended without a result", PublishResultLine(running));
}

TEST(PublishResultLine, NothingFromTheDocumentOrServiceCanReorderOrMoveTheLine) {
  PublishRecord record = Record(PublishRecord::Status::kPublished);
  record.name =
      "Card\xe2\x80\xae"
      "fdp.exe\x1b[2J\r";
  const std::string line = PublishResultLine(record);
  EXPECT_EQ(std::string::npos, line.find('\x1b'));
  EXPECT_EQ(std::string::npos, line.find('\r'));
  EXPECT_EQ(std::string::npos, line.find("\xe2\x80\xae"));
  EXPECT_NE(std::string::npos, line.find("Card\\u202efdp.exe\\x1b[2J\\r")) << line;
}

TEST(PublishInterruptNote, SaysWhatTheServiceMayHoldAtThatMoment) {
  PublishRecord record = Record(PublishRecord::Status::kRunning);
  record.templateID.clear();
  EXPECT_EQ(
      ": the publish stopped before the service stored anything; the document on disk is "
      "unchanged",
      PublishInterruptNote(record));
  record.serviceMayHoldUncommitted = true;
  EXPECT_EQ(
      ": the service at http://127.0.0.1:8080 may now hold an uncommitted template 'Business "
      "Card'; publish again to complete it; the document on disk is unchanged",
      PublishInterruptNote(record));
  record.templateID = "0a1b2c3d-0000-4000-8000-000000000001";
  EXPECT_NE(std::string::npos,
            PublishInterruptNote(record).find("'Business Card' (0a1b2c3d-0000-4000-8000-"
                                              "000000000001)"));
  record.status = PublishRecord::Status::kPublished;
  EXPECT_EQ("", PublishInterruptNote(record));

  SetInterruptNote(": something");
  EXPECT_EQ("osl: cancelled: something", InterruptLine());
  SetInterruptNote(std::string(5000, 'x'));
  EXPECT_EQ(std::string("osl: cancelled").size() + 1000, InterruptLine().size());
  SetInterruptNote("");
  EXPECT_EQ("osl: cancelled", InterruptLine());
}

class ListOptions : public ::testing::Test {
 protected:
  ListOptions() {
    strings_.Add("0x199e00kOslTypeKeyBox", "Text box");
    strings_.Add("0x199e00kOslTypeKeyArea", "Text area");
    strings_.Add("0x199e00kOslTypeKeyRich", "Rich text");
    strings_.Add("0x199e00kOslTypeKeyBarcode", "Barcode");
    strings_.Add("0x199e00kOslTypeKeyStandardimageupload", "Standard image upload");
    strings_.Add("0x199e00kOslTypeKeyAdvancedimageupload", "Advanced image upload");
    strings_.Add("0x199e00kOslTypeKeyNonprintable", "Non-printable area");
    strings_.Add("0x199e00kOslMoveUpKey", "Move up");
    strings_.Add("0x199e00kOslMoveDownKey", "Move down");
    // The entry names the plug-in's resources declare.
    const std::pair<const char*, const char*> choices[] = {
        {"textbox", "0x199e00kOslTypeKeyBox"},
        {"textarea", "0x199e00kOslTypeKeyArea"},
        {"richtext", "0x199e00kOslTypeKeyRich"},
        {"barcode", "0x199e00kOslTypeKeyBarcode"},
        {"image", "0x199e00kOslTypeKeyStandardimageupload"},
        {"advimage", "0x199e00kOslTypeKeyAdvancedimageupload"},
        {"nonprint", "0x199e00kOslTypeKeyNonprintable"},
        {"up", "0x199e00kOslMoveUpKey"},
        {"down", "0x199e00kOslMoveDownKey"}};
    for (const auto& [name, key] : choices) strings_.AddChoice(name, key);
  }
  standin::StringTables strings_;
  const std::vector<std::string> text_{"Text box", "Text area", "Rich text", "Barcode"};
  const std::vector<std::string> graphic_{"Standard image upload", "Advanced image upload",
                                          "Non-printable area"};
};

TEST_F(ListOptions, NamesChooseTheirEntryWhereverTheListHoldsIt) {
  int32 position = -1;
  std::string error;
  const std::vector<std::pair<const char*, int32>> onText = {
      {"textbox", 0}, {"textarea", 1}, {"richtext", 2}, {"barcode", 3}, {"3", 3}, {"0", 0}};
  for (const auto& [value, expected] : onText) {
    ASSERT_TRUE(
        ResolveListOption("--type", value, ControlTypeNames(), text_, strings_, &position, &error))
        << value << ": " << error;
    EXPECT_EQ(expected, position) << value;
  }
  const std::vector<std::pair<const char*, int32>> onGraphic = {
      {"image", 0}, {"advimage", 1}, {"nonprint", 2}};
  for (const auto& [value, expected] : onGraphic) {
    ASSERT_TRUE(ResolveListOption("--type", value, ControlTypeNames(), graphic_, strings_,
                                  &position, &error))
        << value << ": " << error;
    EXPECT_EQ(expected, position) << value;
  }
  // A list in another order: the name follows its caption.
  const std::vector<std::string> reordered{"Move down", "Move up"};
  ASSERT_TRUE(ResolveListOption("--direction", "up", DirectionNames(), reordered, strings_,
                                &position, &error));
  EXPECT_EQ(1, position);
}

TEST_F(ListOptions, AValueTheListDoesNotOfferIsRefusedNamingWhatItOffers) {
  int32 position = -1;
  std::string error;
  EXPECT_FALSE(
      ResolveListOption("--type", "image", ControlTypeNames(), text_, strings_, &position, &error));
  EXPECT_EQ(
      "--type image: not offered here; the list offers textbox, textarea, richtext, barcode (or "
      "positions 0 to 3)",
      error);
  EXPECT_FALSE(
      ResolveListOption("--type", "4", ControlTypeNames(), text_, strings_, &position, &error));
  EXPECT_EQ("--type 4: the list offers textbox, textarea, richtext, barcode (or positions 0 to 3)",
            error);
  EXPECT_FALSE(ResolveListOption("--direction", "sideways", DirectionNames(),
                                 {"Move up", "Move down"}, strings_, &position, &error));
  EXPECT_EQ("--direction sideways: unknown; the list offers up, down (or positions 0 to 1)", error);
  for (const char* bad : {"-1", "", "1x", "99999999999999"}) {
    EXPECT_FALSE(ResolveListOption("--direction", bad, DirectionNames(), {"Move up", "Move down"},
                                   strings_, &position, &error))
        << bad;
  }
  EXPECT_EQ("textbox|textarea|richtext|barcode|image|advimage|nonprint",
            NameChoices(ControlTypeNames()));
}

// An alert's text cannot reorder the line it is shown on: the
// bidirectional formatting characters are escaped like the other controls.
TEST(AlertText, BidirectionalControlsAreShownEscaped) {
  EXPECT_EQ(
      "[info] invoice\\u202efdp.exe \\u2066x\\u2069 \\u200e\\u200f\\u061c \\u202a\\u202d\n"
      "       next line caf\xc3\xa9\n",
      standin::FormatAlert(standin::AlertKind::kInfo,
                           "invoice\xe2\x80\xae"
                           "fdp.exe \xe2\x81\xa6x\xe2\x81\xa9 \xe2\x80\x8e\xe2\x80\x8f\xd8\x9c "
                           "\xe2\x80\xaa\xe2\x80\xad\nnext line caf\xc3\xa9"));
}

TEST(ServerAddress, OnlyHttpOrHttpsAddressesWithoutBlanksAreTaken) {
  std::string why;
  for (const char* good : {"http://127.0.0.1:8080", "https://templates.example.com", "HTTP://host",
                           "http://host/base"}) {
    EXPECT_TRUE(CheckServerAddress(good, &why)) << good << ": " << why;
  }
  EXPECT_FALSE(CheckServerAddress("127.0.0.1:8080", &why));
  EXPECT_EQ("the address must start with http:// or https:// (for example http://127.0.0.1:8080)",
            why);
  EXPECT_FALSE(CheckServerAddress("ftp://host", &why));
  EXPECT_FALSE(CheckServerAddress("http://my host", &why));
  EXPECT_EQ("the address must not hold blanks or control characters", why);
  EXPECT_FALSE(CheckServerAddress(" http://host", &why));
  EXPECT_FALSE(CheckServerAddress("http://host\t", &why));
  EXPECT_FALSE(CheckServerAddress("http://", &why));
  EXPECT_EQ("the address names no host after its scheme", why);
  EXPECT_FALSE(CheckServerAddress("https:///path", &why));
}

}  // namespace
}  // namespace osl_cli
