// Identifiers of the plug-in. All are the prefix 0x199E00 plus a small
// number; implementations, interfaces, actions and widgets are separate
// identifier spaces, so the same number can mean several things.
#pragma once

#include "host/BaseTypes.h"

constexpr PluginID kOslPluginID = 0x199E00;
constexpr int32 kOslPrefix = 0x199E00;

// Implementations (the registry).
constexpr ImplementationID kOslActionComponentImpl = 0x199E00;
constexpr ImplementationID kOslDialogControllerImpl = 0x199E01;
constexpr ImplementationID kOslDialogObserverImpl = 0x199E02;
constexpr ImplementationID kOslScriptProviderImpl = 0x199E03;
constexpr ImplementationID kOslSuiteASBImpl = 0x199E04;
constexpr ImplementationID kOslSuiteLayoutCSBImpl = 0x199E05;
constexpr ImplementationID kOslSuiteTextCSBImpl = 0x199E06;
constexpr ImplementationID kOslSuiteDefaultsCSBImpl = 0x199E07;
constexpr ImplementationID kOslFacadeImpl = 0x199E08;
// 0x199E09 is not used.
constexpr ImplementationID kOslSelectionObserverImpl = 0x199E0A;
constexpr ImplementationID kCreateStackingGroupControllerImpl = 0x199E0B;
constexpr ImplementationID kAddFieldToStackingGroupControllerImpl = 0x199E0C;
constexpr ImplementationID kOslPrefPanelObserverImpl = 0x199E0D;
constexpr ImplementationID kOslPrefPanelControllerImpl = 0x199E0E;
constexpr ImplementationID kOslPrefPanelCreatorImpl = 0x199E0F;
constexpr ImplementationID kOslEventHandlerImpl = 0x199E10;

// Interfaces of the plug-in.
constexpr PMIID IID_IOSLSUITE = 0x199E00;
constexpr PMIID IID_IOSLFACADE = 0x199E01;

// Menu actions.
constexpr ActionID kOslAboutActionID = 0x199E00;
constexpr ActionID kOslPublishActionID = 0x199E03;
constexpr ActionID kOslPublishAgainActionID = 0x199E04;
constexpr ActionID kOslCreateStackingGroupActionID = 0x199E05;
constexpr ActionID kOslAddFieldToStackingGroupActionID = 0x199E06;
constexpr ActionID kOslPreferencesActionID = 0x199E07;
constexpr ActionID kOslPublishAsNewActionID = 0x199E08;
// The designer tools' actions.
constexpr ActionID kOslCheckActionID = 0x199E09;
constexpr ActionID kOslDryRunActionID = 0x199E0A;
constexpr ActionID kOslPreviewActionID = 0x199E0B;
constexpr ActionID kOslConnectionTestActionID = 0x199E0C;

// View resources.
constexpr RsrcID kOslTemplateDialogRsrcID = 250;
constexpr RsrcID kCreateStackingGroupDialogRsrcID = 1056;
constexpr RsrcID kAddFieldToStackingGroupDialogRsrcID = 2056;
constexpr RsrcID kOslFieldPanelRsrcID = 350;
constexpr RsrcID kOslPrefPanelRsrcID = 850;
constexpr WidgetID kOslPrefPanelID = 0x199E18;

// Widgets.
constexpr WidgetID kOslControlTypeLabelWidgetID = 0x199E02;
constexpr WidgetID kOslControlTypeWidgetID = 0x199E03;
constexpr WidgetID kOslFieldNameLabelWidgetID = 0x199E04;
constexpr WidgetID kOslFieldNameWidgetID = 0x199E05;
constexpr WidgetID kOslDocNameWidgetID = 0x199E07;
constexpr WidgetID kOslClientTypeWidgetID = 0x199E09;
constexpr WidgetID kOslTemplateNameWidgetID = 0x199E0A;
constexpr WidgetID kOslMoveDirectionWidgetID = 0x199E0D;
constexpr WidgetID kOslGroupNameWidgetID = 0x199E0F;
constexpr WidgetID kOslMemberOfGroupWidgetID = 0x199E13;
constexpr WidgetID kOslDependsOnWidgetID = 0x199E15;
constexpr WidgetID kOslPromptTextLabelWidgetID = 0x199E16;
constexpr WidgetID kOslPromptTextWidgetID = 0x199E17;
constexpr WidgetID kOslServerWidgetID = 0x199E1B;
constexpr WidgetID kOslUserWidgetID = 0x199E1C;
constexpr WidgetID kOslPasswordWidgetID = 0x199E1D;
constexpr WidgetID kOslRefreshBoxWidgetID = 0x199E21;

// Scripting elements (four characters packed big-endian).
constexpr ScriptID kOslSpeakMethodScriptID = 0x6553706B;     // 'eSpk'
constexpr ScriptID kOslSpeakTextParamScriptID = 0x70536564;  // 'pSed'
constexpr ScriptID kOslResponsePropScriptID = 0x70527370;    // 'pRsp'
// Read-only properties of page items: the item's field as its tag holds it.
constexpr ScriptID kOslFieldNamePropScriptID = 0x70466E6D;        // 'pFnm'
constexpr ScriptID kOslControlTypePropScriptID = 0x70437479;      // 'pCty'
constexpr ScriptID kOslControlTypeNamePropScriptID = 0x7043746E;  // 'pCtn'
