// The pre-scan of SOAP requests: the limits on depth, attributes, namespace declarations and
// elements, and the characters XML forbids.
#include "refservice/soap/xml_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace osltest {
namespace {

using refservice::CheckXml;
using refservice::XmlLimits;

std::string Wrap(const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
         "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:ns2=\"urn:osl:templates\"><SOAP-ENV:Body>" +
         inner + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string Reason(const std::string& xml, const XmlLimits& limits = XmlLimits()) {
  return CheckXml(xml, limits).value_or("");
}

TEST(XmlGuard, AcceptsOrdinaryMessages) {
  EXPECT_EQ(Reason(Wrap("<ns2:a x='1' y=\"&lt;&amp;&#x41;&#66;\">Straße &amp; Ünïcode "
                        "&#x1F600; &quot;q&quot; <![CDATA[<not markup &#1;>]]><!-- &#0; -->"
                        "<ns2:b/>\t\r\n</ns2:a>")),
            "");
  EXPECT_EQ(Reason(""), "");
}

TEST(XmlGuard, RefusesCharactersXmlForbids) {
  size_t offset = Wrap("").find("</SOAP-ENV:Body>") + 3;
  EXPECT_EQ(Reason(Wrap("<a>&#1;</a>")),
            "The request contains the character U+0001, which XML does not allow (at byte " +
                std::to_string(offset) + ").");
  EXPECT_NE(Reason(Wrap("<a>&#0;</a>")).find("U+0000"), std::string::npos);
  EXPECT_NE(Reason(Wrap("<a>&#xFFFE;</a>")).find("U+FFFE"), std::string::npos);
  EXPECT_NE(Reason(Wrap("<a>&#xffff;</a>")).find("U+FFFF"), std::string::npos);
  EXPECT_NE(Reason(Wrap("<a>&#xD800;</a>")).find("U+D800"), std::string::npos);
  EXPECT_NE(Reason(Wrap("<a>&#56320;</a>")).find("U+DC00"), std::string::npos);
  EXPECT_NE(Reason(Wrap("<a>&#x110000;</a>")).find("U+110000"), std::string::npos);
  EXPECT_NE(Reason(Wrap("<a>&#99999999999999999999;</a>")).find("which XML does not allow"),
            std::string::npos);
  EXPECT_NE(Reason(Wrap("<a b='&#x1;'/>")).find("U+0001"), std::string::npos);
  // The same characters written as bytes.
  EXPECT_NE(Reason(Wrap(std::string("<a>\x01</a>"))).find("U+0001"), std::string::npos);
  EXPECT_NE(Reason(Wrap(std::string("<a>\0</a>", 8))).find("U+0000"), std::string::npos);
  EXPECT_NE(Reason(Wrap("<a>\xEF\xBF\xBE</a>")).find("U+FFFE"), std::string::npos);
  // A lone surrogate as bytes, an overlong form, a cut sequence, a stray continuation byte.
  for (const char* bytes : {"\xED\xA0\x80", "\xC0\xAF", "\xE2\x82", "\x80", "\xF5\x80\x80\x80"}) {
    EXPECT_NE(Reason(Wrap(std::string("<a>") + bytes + "</a>")).find("not UTF-8"),
              std::string::npos)
        << bytes;
  }
  EXPECT_NE(Reason(Wrap("<a>&#xZZ;</a>")).find("Malformed character reference"), std::string::npos);
  EXPECT_NE(Reason(Wrap("<a>&nbsp;</a>")).find("entity &nbsp;"), std::string::npos);
  EXPECT_NE(Reason("<!DOCTYPE x [<!ENTITY a 'aaaa'>]><x>&a;</x>").find("Document type"),
            std::string::npos);
}

TEST(XmlGuard, RefusesMessagesBeyondTheLimits) {
  XmlLimits limits;
  limits.maxDepth = 10;
  limits.maxAttributes = 5;
  limits.maxNamespaces = 4;
  limits.maxElements = 20;
  std::string deep;
  for (int i = 0; i < 8; ++i) deep += "<d>";
  EXPECT_EQ(Reason(Wrap(deep), limits), "") << "10 levels with the envelope and body";
  EXPECT_NE(Reason(Wrap(deep + "<d>"), limits).find("deeper than 10 levels"), std::string::npos);
  // Closed elements give their level back.
  std::string wide;
  for (int i = 0; i < 9; ++i) wide += "<w></w><e/>";
  EXPECT_EQ(Reason(Wrap(wide), limits), "");
  EXPECT_EQ(Reason(Wrap(wide + "<w/>"), limits), "The request has more than 20 elements.");
  // "<" may not appear in an attribute value or an end tag: there it starts a tag that counts.
  EXPECT_EQ(Reason(Wrap("<a v='" + std::string(20, '<') + "'/>"), limits),
            "The request has more than 20 elements.");
  EXPECT_EQ(Reason(Wrap("</x " + std::string(20, '<') + ">"), limits),
            "The request has more than 20 elements.");
  EXPECT_EQ(Reason(Wrap("<a a='1' b='2' c=\"3\"/>"), limits), "");
  EXPECT_EQ(Reason(Wrap("<a a='1' b='2' c='3' d='4' e='5'/>"), limits), "") << "exactly 5";
  EXPECT_NE(Reason(Wrap("<a a='1' b='2' c='3' d='4' e='5' f='6'/>"), limits)
                .find("more than 5 attributes"),
            std::string::npos);
  EXPECT_EQ(Reason(Wrap("<a xmlns='u'/>"), limits), "");
  EXPECT_EQ(Reason(Wrap("<a xmlns:p='u'/><b xmlns:q='v'/>"), limits), "") << "exactly 4";
  EXPECT_EQ(Reason(Wrap("<a xmlns:p='u'/><b xmlns:q='v' xmlns:r='w'/>"), limits),
            "The request declares more than 4 namespaces.");
}

TEST(XmlGuard, HostileShapesStayLinearAndNeverCrash) {
  XmlLimits limits;
  // Many references without an end, markup that never closes, stray quotes and brackets.
  EXPECT_EQ(Reason(std::string(4 << 20, '&'), limits), "");
  EXPECT_EQ(Reason("<a b='" + std::string(1 << 20, 'x'), limits), "");
  EXPECT_EQ(Reason("<!--" + std::string(1 << 20, '-'), limits), "");
  EXPECT_EQ(Reason(std::string(1 << 20, '<'), limits),
            "The request has more than 1000000 elements.");
  EXPECT_EQ(Reason("<a <b <c = = ' \" >>>", limits), "");
}

}  // namespace
}  // namespace osltest
