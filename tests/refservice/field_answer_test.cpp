// getFields and setFields answers on the wire: the bytes an answer carries for a set of field
// records are the ones the previous build answered (kept in data/field_answers, captured from
// it), whether the records were stored by this build or by the previous one, and a stored record
// that cannot be read fails the call naming its field.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "tests/refservice/raw_http.h"
#include "tests/refservice/service_fixture.h"
#include "tests/refservice/soap_client.h"

namespace osltest {
namespace {

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(OSL_SOURCE_DIR) + "/tests/refservice/data/field_answers/" + name,
                   std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_TRUE(in.good() || in.eof()) << name;
  return text.str();
}

const char kEnvelopeHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:ns3=\"http://microsoft.com/wsdl/types/\" "
    "xmlns:ns4=\"urn:osl:templates/\" xmlns:ns5=\"urn:osl:placeholder\" "
    "xmlns:ns2=\"urn:osl:templates\"><SOAP-ENV:Body>";
const char kEnvelopeTail[] = "</SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";

class FieldAnswerTest : public ServiceFixture {
 protected:
  void SetUp() override {
    StartService();
    SoapClient client(service_.port(), kAnn, kAnnPw);
    std::tie(id_, password_) = client.CreateTemplate("Answers");
    ASSERT_NE(id_, kZeroGuidText);
  }

  std::string Credentials() const {
    return "<ns2:userEmail>" + std::string(kAnn) + "</ns2:userEmail><ns2:userPassword>" + kAnnPw +
           "</ns2:userPassword><ns2:docCode>" + id_ + "</ns2:docCode><ns2:docPassword>" +
           password_ + "</ns2:docPassword>";
  }

  // Posts one envelope body to the template manager; the reply's status and body.
  HttpReply Call(const std::string& operation, const std::string& body) {
    std::string envelope = kEnvelopeHead + body + kEnvelopeTail;
    return ParseReply(RawExchange(
        service_.port(),
        PostRequest("/services/templateMgr.svc", "text/xml; charset=utf-8", envelope,
                    "SOAPAction: \"urn:osl:templates/ItemplateMgr/" + operation + "\"\r\n")));
  }

  HttpReply SetFields(const std::string& recordsFile) {
    return Call("setFields", "<ns2:setFields>" + Credentials() + "<ns2:docFields>" +
                                 ReadData(recordsFile) +
                                 "</ns2:docFields><ns2:deleteOthers>false</ns2:deleteOthers>"
                                 "</ns2:setFields>");
  }

  HttpReply GetFields() {
    return Call("getFields", "<ns2:getFields>" + Credentials() + "</ns2:getFields>");
  }

  // Replaces the stored record of each field position with `records` (service stopped).
  void StoreRecords(const std::vector<std::string>& records) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir_.path() + "/service.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* update = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE fields SET record = ?1 WHERE position = ?2", -1,
                                 &update, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    for (size_t i = 0; i < records.size(); ++i) {
      sqlite3_bind_text(update, 1, records[i].data(), static_cast<int>(records[i].size()),
                        SQLITE_TRANSIENT);
      sqlite3_bind_int(update, 2, static_cast<int>(i));
      EXPECT_EQ(sqlite3_step(update), SQLITE_DONE) << sqlite3_errmsg(db);
      EXPECT_EQ(sqlite3_changes(db), 1) << "no stored field at position " << i;
      sqlite3_reset(update);
    }
    sqlite3_finalize(update);
    sqlite3_close(db);
  }

  void RestartWithRecords(const std::vector<std::string>& records) {
    ASSERT_EQ(StopService(), 0);
    StoreRecords(records);
    StartService();
  }

  std::string id_;
  std::string password_;
};

// The records exercise what a stored form could lose: every member including the nested
// lockdown, palette and arrays, escapes, CDATA, character references, NaN and infinities, an
// element prefix other than ns2 and whitespace between members, a nil record (skipped), and a
// second field of the same name. The second setFields replaces one field and appends another,
// so its answer joins kept and new records.
TEST_F(FieldAnswerTest, AnswersAreTheBytesThePreviousBuildAnswered) {
  HttpReply set1 = SetFields("set-1.records.xml");
  EXPECT_EQ(set1.status, 200);
  EXPECT_EQ(set1.body, ReadData("set-1.answer.xml"));
  HttpReply get1 = GetFields();
  EXPECT_EQ(get1.status, 200);
  EXPECT_EQ(get1.body, ReadData("get-1.answer.xml"));

  HttpReply set2 = SetFields("set-2.records.xml");
  EXPECT_EQ(set2.status, 200);
  EXPECT_EQ(set2.body, ReadData("set-2.answer.xml"));
  HttpReply get2 = GetFields();
  EXPECT_EQ(get2.status, 200);
  EXPECT_EQ(get2.body, ReadData("get-2.answer.xml"));
}

// Records as the previous build stored them (whole XML documents) answer the same bytes, alone
// and merged with records this build stores; the answer also survives a restart.
TEST_F(FieldAnswerTest, RecordsStoredByThePreviousBuildAnswerTheSameBytes) {
  ASSERT_EQ(SetFields("set-1.records.xml").status, 200);
  RestartWithRecords({ReadData("stored-0.legacy.xml"), ReadData("stored-1.legacy.xml"),
                      ReadData("stored-2.legacy.xml")});
  HttpReply get1 = GetFields();
  EXPECT_EQ(get1.status, 200);
  EXPECT_EQ(get1.body, ReadData("get-1.answer.xml"));

  HttpReply set2 = SetFields("set-2.records.xml");
  EXPECT_EQ(set2.status, 200);
  EXPECT_EQ(set2.body, ReadData("set-2.answer.xml"));

  ASSERT_EQ(StopService(), 0);
  StartService();
  HttpReply get2 = GetFields();
  EXPECT_EQ(get2.status, 200);
  EXPECT_EQ(get2.body, ReadData("get-2.answer.xml"));
}

// A previous build's record cut short, a record cut short after its start tag and a text of
// neither form fail the call with a server fault naming the first such field of the answer.
TEST_F(FieldAnswerTest, UnreadableStoredRecordFailsTheCallNamingTheField) {
  ASSERT_EQ(SetFields("set-1.records.xml").status, 200);
  std::string legacy = ReadData("stored-1.legacy.xml");
  RestartWithRecords({ReadData("stored-0.legacy.xml"), legacy.substr(0, legacy.size() / 2),
                      "<ns2:OstrFieldInfo><ns2:fieldName>Name</ns2:fieldName>"});
  const std::string fault = "<faultcode>SOAP-ENV:Server</faultcode><faultstring>The stored "
                            "record of field ";
  HttpReply get = GetFields();
  EXPECT_EQ(get.status, 500);
  EXPECT_NE(get.body.find(fault + "Second is damaged.</faultstring>"), std::string::npos)
      << get.body;
  // setFields replaces "Second"; the answer then reaches the damaged "Name".
  HttpReply set = SetFields("set-2.records.xml");
  EXPECT_EQ(set.status, 500);
  EXPECT_NE(set.body.find(fault + "Name is damaged.</faultstring>"), std::string::npos)
      << set.body;

  ASSERT_EQ(StopService(), 0);
  StoreRecords({"garbage"});
  StartService();
  get = GetFields();
  EXPECT_EQ(get.status, 500);
  EXPECT_NE(get.body.find(fault + "Name is damaged.</faultstring>"), std::string::npos)
      << get.body;
}

}  // namespace
}  // namespace osltest
