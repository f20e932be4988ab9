#include "ui/document_field_names.h"

#include "host/ILayout.h"
#include "host/InterfacePtr.h"
#include "model/tag_map.h"

K2Vector<PMString> CollectFieldNames(IDocument* document) {
  K2Vector<PMString> names;
  InterfacePtr<ISpreadList> spreads(document, IID_ISPREADLIST);
  if (!spreads) return names;
  IDataBase* db = document->GetDocDataBase();
  for (int32 s = 0; s < spreads->GetSpreadCount(); ++s) {
    InterfacePtr<ISpread> spread(UIDRef(db, spreads->GetNthSpreadUID(s)), IID_ISPREAD);
    if (!spread) continue;
    for (int32 page = 0; page < spread->GetNumPages(); ++page) {
      UIDList items(db);
      spread->GetItemsOnPage(page, &items, 0, 0);
      for (int32 i = 0; i < items.Length(); ++i) {
        PMString name = ReadStringMap(items.GetRef(i))[PMString(tagkeys::kFieldName)];
        if (!name.IsEmpty()) names.push_back(name);
      }
    }
  }
  return names;
}
