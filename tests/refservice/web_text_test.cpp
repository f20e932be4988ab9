// Texts on their way into pages and out of forms: escaping, the form body parsers, how
// addresses are decoded and matched against routes, and the photos a form session keeps.
#include <gtest/gtest.h>

#include "refservice/http/form_data.h"
#include "refservice/http/url_unescape.h"
#include "refservice/web/html_text.h"
#include "refservice/web/web_images.h"
#include "refservice/web/web_routes.h"

namespace refservice {
namespace {

TEST(HtmlTextTest, MarkupQuotesControlsAndBrokenUtf8CannotEscapeTheirPlace) {
  EXPECT_EQ("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;y&#39;",
            HtmlEscape("<script>alert(\"x\")</script> & 'y'"));
  EXPECT_EQ("a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c", HtmlEscape("a\x01" "b\xC3" "c"));
  EXPECT_EQ("\xC3\xA9\xE2\x82\xAC\tline\n", HtmlEscape("\xC3\xA9\xE2\x82\xAC\tline\n"));
  EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", HtmlEscape("\xED\xA0"));  // a surrogate's first bytes
  EXPECT_EQ("a%2Fb%20c-._~", UrlSegment("a/b c-._~"));
}

TEST(FormDataTest, MultipartPartsKeepNamesFileNamesAndBytes) {
  std::string body =
      "preamble\r\n--B\r\nContent-Disposition: form-data; name=\"values\"\r\n\r\n{\"a\":\"1\"}\r\n"
      "--B\r\ncontent-disposition: form-data; name=\"Logo\"; filename=\"x.png\"\r\n"
      "Content-Type: image/png\r\n\r\n\x89PNG\r\n--Bx\r\n--B--\r\n";
  std::vector<FormPart> parts;
  std::string error;
  ASSERT_TRUE(ParseMultipartForm(body, "B", 10, &parts, &error)) << error;
  ASSERT_EQ(2u, parts.size());
  EXPECT_EQ("values", parts[0].name);
  EXPECT_FALSE(parts[0].isFile);
  EXPECT_EQ("{\"a\":\"1\"}", parts[0].content);
  EXPECT_TRUE(parts[1].isFile);
  EXPECT_EQ("x.png", parts[1].fileName);
  EXPECT_EQ("\x89PNG\r\n--Bx", parts[1].content);
  parts.clear();
  EXPECT_FALSE(ParseMultipartForm(body, "B", 1, &parts, &error));  // too many parts
  parts.clear();
  EXPECT_FALSE(ParseMultipartForm("--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nx",
                                  "B", 10, &parts, &error));  // no closing delimiter
  parts.clear();
  EXPECT_FALSE(ParseMultipartForm("--B\r\nContent-Type: text/plain\r\n\r\nx\r\n--B--", "B", 10,
                                  &parts, &error));  // a part without a name
}

TEST(FormDataTest, UrlEncodedPairsAreDecodedAndBadEscapesRefused) {
  std::vector<FormPart> parts;
  std::string error;
  ASSERT_TRUE(ParseUrlEncodedForm("email=a%40b.org&password=two+words%21&&empty=", 10, &parts,
                                  &error));
  ASSERT_EQ(3u, parts.size());
  EXPECT_EQ("a@b.org", FindPart(parts, "email")->content);
  EXPECT_EQ("two words!", FindPart(parts, "password")->content);
  EXPECT_EQ("", FindPart(parts, "empty")->content);
  EXPECT_EQ(nullptr, FindPart(parts, "missing"));
  parts.clear();
  EXPECT_FALSE(ParseUrlEncodedForm("a=%4", 10, &parts, &error));
  parts.clear();
  EXPECT_FALSE(ParseUrlEncodedForm("a=%zz", 10, &parts, &error));
}

TEST(AddressTest, EncodedNulStaysEncodedAndNumbersAreStrict) {
  const std::vector<std::pair<std::string, std::string>> decoded = {
      {"/fill/a/b%00rest", "/fill/a/b%00rest"}, {"/a%20b%2Fc", "/a b/c"},
      {"%4", "%4"}, {"%zz%41", "%zzA"}, {"a+b", "a+b"}, {"%e2%82%ac", "\xE2\x82\xAC"}};
  for (const auto& [given, wanted] : decoded) {
    std::string text = given;
    text.resize(PercentDecodeKeepingNul(text.data()));
    EXPECT_EQ(wanted, text) << given;
  }
  const std::vector<std::pair<std::string, int>> pages = {  // -1: refused
      {"1", 1}, {"999999", 999999}, {"1000000", -1}, {"0", -1}, {"-1", -1}, {"abc", -1},
      {"", -1}, {"999999999999", -1}, {"1 ", -1}, {"+1", -1}};
  for (const auto& [given, wanted] : pages) {
    EXPECT_EQ(wanted, PageNumberOf(given).value_or(-1)) << given;
  }
  const std::vector<std::string> segments = PathSegments("/templates/ab/pages/1.png");
  EXPECT_TRUE(PathMatches("/templates/*/pages/*", segments));
  EXPECT_FALSE(PathMatches("/templates/*/pages", segments));
  EXPECT_FALSE(PathMatches("/templates/*", segments));
  EXPECT_FALSE(PathMatches("/templates/*", PathSegments("/templates/")));  // an empty id
  EXPECT_TRUE(PathMatches("/", PathSegments("/")));
}

TEST(WebImagesTest, PhotosAreKeptPerSessionFieldAndWithinTheirBounds) {
  WebImages images;
  auto photo = [](size_t bytes) { return HeldImage{std::string(bytes, 'o'), std::string(10, 'p')}; };
  const std::string first = images.Keep("s1", "t", "Photo", photo(100));
  ASSERT_EQ(32u, first.size());
  ASSERT_TRUE(images.Find(first, "s1", "t", "Photo"));
  // Only the session, template and field it was sent for may name it.
  EXPECT_FALSE(images.Find(first, "s2", "t", "Photo"));
  EXPECT_FALSE(images.Find(first, "s1", "u", "Photo"));
  EXPECT_FALSE(images.Find(first, "s1", "t", "Logo"));
  // A field's new photo replaces its last.
  const std::string second = images.Keep("s1", "t", "Photo", photo(100));
  EXPECT_FALSE(images.Find(first, "s1", "t", "Photo"));
  EXPECT_EQ(110u, images.bytes());
  // kMaxPerSession photos are kept; one more drops the session's least recently used.
  std::vector<std::string> tokens = {second};
  for (size_t i = 1; i < WebImages::kMaxPerSession; ++i) {
    tokens.push_back(images.Keep("s1", "t", "Field" + std::to_string(i), photo(10)));
  }
  const std::string other = images.Keep("s2", "t", "Photo", photo(10));
  for (const std::string& token : tokens) EXPECT_FALSE(token.empty());
  ASSERT_TRUE(images.Find(second, "s1", "t", "Photo"));  // now the most recently used
  images.Keep("s1", "t", "Extra", photo(10));
  EXPECT_FALSE(images.Find(tokens[1], "s1", "t", "Field1"));
  EXPECT_TRUE(images.Find(second, "s1", "t", "Photo"));
  EXPECT_TRUE(images.Find(other, "s2", "t", "Photo"));  // another session's photos stay
  // A photo over the session's bound is not kept; a session's bytes stay within it.
  EXPECT_EQ("", images.Keep("s3", "t", "Photo", photo(WebImages::kMaxSessionBytes)));
  const std::string big = images.Keep("s3", "t", "A", photo(WebImages::kMaxSessionBytes - 10));
  ASSERT_FALSE(big.empty());
  images.Keep("s3", "t", "B", photo(1));
  EXPECT_FALSE(images.Find(big, "s3", "t", "A"));
  // Signing out drops a session's photos, and only its.
  images.DropSession("s1");
  EXPECT_FALSE(images.Find(second, "s1", "t", "Photo"));
  EXPECT_TRUE(images.Find(other, "s2", "t", "Photo"));
  // All sessions together stay within kMaxTotalBytes, the least recently used dropped first.
  for (int i = 0; i < 4; ++i) images.Keep("t" + std::to_string(i), "t", "A", photo(80u << 20));
  EXPECT_LE(images.bytes(), WebImages::kMaxTotalBytes);
  EXPECT_GT(images.bytes(), WebImages::kMaxTotalBytes - (96u << 20));
  EXPECT_FALSE(images.Find(other, "s2", "t", "Photo"));
}

}  // namespace
}  // namespace refservice
