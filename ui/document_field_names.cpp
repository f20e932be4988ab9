#include "ui/document_field_names.h"

#include "host/IDocument.h"
#include "model/tag_map.h"
#include "publish/page_items.h"

K2Vector<PMString> CollectFieldNames(IDocument* document) {
  K2Vector<PMString> names;
  if (!document) return names;
  UIDList items(document->GetDocDataBase());
  CollectPageItems(document, &items);
  for (int32 i = 0; i < items.Length(); ++i) {
    PMString name = ReadStringMap(items.GetRef(i))[PMString(tagkeys::kFieldName)];
    if (!name.IsEmpty()) names.push_back(name);
  }
  return names;
}
