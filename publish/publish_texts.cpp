#include "publish/publish_texts.h"

PMString Translated(const char* key) {
  PMString text(key);
  text.Translate();
  text.SetTranslatable(false);
  return text;
}

PMString Literal(const std::string& text) {
  return PMString(text, PMString::kDontTranslateDuringCall);
}
