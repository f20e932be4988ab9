// Matching request addresses against the web side's route table, and reading the numbers an
// address carries. The table itself (which handler answers which route) belongs to WebApp; these
// are the pieces that do not depend on it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace refservice {

// Who may call a route.
enum class RouteCaller {
  kAnyone,
  kSession,       // any signed-in session: an account's or a fill link's
  kAccount,       // a signed-in account (a fill link's session gets "not found")
  kTemplateUser,  // the owning account, or a fill link's session of that very template
  kProgram,       // HTTP Basic credentials, or a session sending its token in X-CSRF-Token
};

// Which token a route's request must carry.
enum class RouteToken {
  kNone,
  kSession,       // the session's CSRF token: a form field `_csrf` or the X-CSRF-Token header
  kSignInCookie,  // the sign-in form's token, matching its cookie
};

// What body a route reads before its handler runs.
enum class RouteBody {
  kNone,
  kSmallForm,  // application/x-www-form-urlencoded, at most 64 KiB
  kValues,     // field values: application/json or multipart/form-data, up to the body limit
  kRecords,    // records of a merge: text/csv or application/json, up to the body limit
};

// "/a/b/c" as {"a", "b", "c"}; "/" as {""}.
std::vector<std::string> PathSegments(const std::string& path);

// Whether `segments` match `pattern`, a path whose segments are literal or "*" (any one
// non-empty segment), e.g. "/templates/*/pages/*".
bool PathMatches(std::string_view pattern, const std::vector<std::string>& segments);

// A page number written as 1 to 6 decimal digits without sign, from 1 up; nullopt for anything
// else ("", "-1", "abc", "0", "999999999999").
std::optional<int> PageNumberOf(std::string_view text);

}  // namespace refservice
