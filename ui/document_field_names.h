// The field names of a document's page items, in the order publishing
// collects the items: spread by spread, page by page, the items of each page
// as the host lists them (back to front); groups are not entered.
#pragma once

#include "host/IDocument.h"
#include "host/PMString.h"

// The non-empty "fieldName" of every item of `document`, duplicates kept.
// Empty for a null document or one without spreads.
K2Vector<PMString> CollectFieldNames(IDocument* document);
