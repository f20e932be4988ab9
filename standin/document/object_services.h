// The host interfaces on a document's objects: each function adds to a boss
// the implementations that object kind carries. The implementations keep
// pointers into the document's model, which must outlive the boss.
#pragma once

#include "standin/core/boss.h"
#include "standin/document/tlvd_model.h"

namespace standin {

class Document;

// IDocument, ILabel, ISpreadList, IPageList, ILinkManager.
void AddDocumentServices(Boss& boss, Document* doc);
// ISpread, IHierarchy.
void AddSpreadServices(Boss& boss, Document* doc, Spread* spread);
// IGeometry, ITransform, IHierarchy.
void AddPageServices(Boss& boss, Page* page);
// ILabel, IHierarchy, IGeometry, ITransform, and by kind: IGuideData
// (guides); IGraphicFrameData (frames); ITextFrameOptions (text frames);
// IGraphicStyle (frames and other items); IOpacity (all but guides).
void AddItemServices(Boss& boss, Document* doc, PageItem* item);
// The text content object of a text frame: IMultiColumnItemData,
// IHierarchy.
void AddTextContentServices(Boss& boss, PageItem* frame);
// ITextModel.
void AddStoryServices(Boss& boss, Story* story);
// ITextAttributes of one run.
void AddRunServices(Boss& boss, const TextRun* run);
// The image placed in a graphic frame: IHierarchy.
void AddPlacedImageServices(Boss& boss, PageItem* frame);

// Parts of AddItemServices, by concern: ITextFrameOptions of a text frame;
// IGraphicStyle and IOpacity of a drawn item.
void AddTextFrameServices(Boss& boss, PageItem* frame);
void AddStyleServices(Boss& boss, PageItem* item);

}  // namespace standin
