#include "refservice/render/stacking_layout.h"

#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <map>

namespace refservice {

namespace {

bool IsBlankCharacter(uint32_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0x0B || c == 0x0C || c == 0xA0 ||
         c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 ||
         c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

}  // namespace

bool IsBlank(const std::string& utf8) {
  // Text that is not UTF-8 (a NUL byte included) is never blank.
  if (!g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), nullptr)) return false;
  const char* end = utf8.data() + utf8.size();
  for (const char* at = utf8.data(); at < end; at = g_utf8_next_char(at)) {
    if (!IsBlankCharacter(g_utf8_get_char(at))) return false;
  }
  return true;
}

std::vector<bool> EffectiveEmpty(const std::vector<RenderField>& fields,
                                 const std::vector<bool>& valueEmpty) {
  std::map<std::string, size_t> byName;
  for (size_t i = 0; i < fields.size(); ++i) byName.emplace(fields[i].name, i);
  std::vector<bool> empty(fields.size(), false);
  for (size_t i = 0; i < fields.size(); ++i) {
    // Follow the chain of dependencies; it has at most fields.size() distinct steps.
    size_t at = i;
    for (size_t steps = 0; steps <= fields.size(); ++steps) {
      if (valueEmpty[at]) {
        empty[i] = true;
        break;
      }
      auto next = byName.find(fields[at].dependsOn);
      if (fields[at].dependsOn.empty() || next == byName.end()) break;
      at = next->second;
    }
  }
  return empty;
}

std::vector<double> StackingMoves(const std::vector<RenderField>& fields,
                                  const std::vector<RenderGroup>& groups,
                                  const std::vector<bool>& empty) {
  std::vector<double> moves(fields.size(), 0.0);
  for (const RenderGroup& group : groups) {
    // Members per page.
    std::map<int, std::vector<size_t>> pages;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (group.id != 0 && fields[i].logicGroupId == group.id && fields[i].hasRect) {
        pages[fields[i].pageNumber].push_back(i);
      }
    }
    for (auto& [page, members] : pages) {
      (void)page;
      std::stable_sort(members.begin(), members.end(), [&](size_t a, size_t b) {
        if (fields[a].y2 != fields[b].y2) return fields[a].y2 > fields[b].y2;
        return fields[a].x1 < fields[b].x1;
      });
      if (group.moveDown) {
        // Bottom-most first: an empty member's share goes to the members above it.
        std::stable_sort(members.begin(), members.end(),
                         [&](size_t a, size_t b) { return fields[a].y1 < fields[b].y1; });
        double carried = 0;
        for (size_t n = 0; n < members.size(); ++n) {
          size_t i = members[n];
          moves[i] -= carried;
          if (empty[i] && n + 1 < members.size()) {
            carried += std::max(0.0, fields[members[n + 1]].y1 - fields[i].y1);
          }
        }
      } else {
        double carried = 0;
        for (size_t n = 0; n < members.size(); ++n) {
          size_t i = members[n];
          moves[i] += carried;
          if (empty[i] && n + 1 < members.size()) {
            carried += std::max(0.0, fields[i].y2 - fields[members[n + 1]].y2);
          }
        }
      }
    }
  }
  return moves;
}

}  // namespace refservice
