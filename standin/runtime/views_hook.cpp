#include "standin/runtime/views_hook.h"

#if __has_include("standin/runtime/views.h")
#include "standin/runtime/views.h"
#define OSL_HAVE_VIEWS 1
#endif

namespace standin {

bool ApplyViews(PluginID plugin, const nlohmann::json& views, std::string* error) {
  if (views.is_null()) return true;
#ifdef OSL_HAVE_VIEWS
  return RegisterViews(plugin, views, error);
#else
  return true;
#endif
}

}  // namespace standin
