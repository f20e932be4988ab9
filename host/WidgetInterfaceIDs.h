// Identifiers of the user-interface services: widget, dialog and panel
// interfaces, the change messages widgets send to their observers, the
// host's standard widgets and the services that place plug-in panels.
#pragma once

#include "BaseTypes.h"

// Widgets (on every widget boss; which ones a widget carries depends on its
// kind).
constexpr PMIID IID_ICONTROLVIEW = 0x5B000;
constexpr PMIID IID_IPANELCONTROLDATA = 0x5B001;
constexpr PMIID IID_ITEXTCONTROLDATA = 0x5B002;
constexpr PMIID IID_ISTRINGLISTCONTROLDATA = 0x5B003;
constexpr PMIID IID_IDROPDOWNLISTCONTROLLER = 0x5B004;
constexpr PMIID IID_ITRISTATECONTROLDATA = 0x5B005;
constexpr PMIID IID_IBOOLEANCONTROLDATA = 0x5B006;
constexpr PMIID IID_ISUBJECT = 0x5B007;

// Dialogs and the application.
constexpr PMIID IID_IDIALOG = 0x5B010;
constexpr PMIID IID_IDIALOGMGR = 0x5B011;
constexpr PMIID IID_IAPPLICATION = 0x5B012;
constexpr PMIID IID_IACTIVECONTEXT = 0x5B013;
constexpr PMIID IID_ISERVICEREGISTRY = 0x5B014;
constexpr PMIID IID_IDIALOGCREATOR = 0x5B015;
constexpr PMIID IID_IDIALOGPANELSWITCHER = 0x5B016;
constexpr PMIID IID_IPANELMGR = 0x5B017;

// Protocol under which the active selection announces its changes.
constexpr PMIID IID_ISELECTIONCHANGED = 0x5B020;

// The host utility that receives keystrokes an edit-box filter refuses. Its
// number is fixed by the plug-ins that call it, not by this header's range.
constexpr PMIID IID_IEVENTUTILS = 0x16424;

// Change messages (the `theChange` argument of ISubject::Change and
// IObserver::Update).
constexpr ClassID kTextChangeStateMessage = 0x774;     // a text widget's text changed
constexpr ClassID kTrueStateMessage = 0x5B100;         // selected / button pressed
constexpr ClassID kFalseStateMessage = 0x5B101;        // deselected
constexpr ClassID kUnknownStateMessage = 0x5B102;      // tri-state box set to its third state
constexpr ClassID kPopupChangeStateMessage = 0x5B103;  // a drop-down's selected entry changed
constexpr ClassID kListChangedMessage = 0x5B104;       // entries added, removed or cleared
constexpr ClassID kSelectionChangedMessage = 0x5B105;  // the active selection changed

// The host's standard widgets. Every dialog carries an OK and a Cancel
// button; the preferences dialog carries the list of its panels.
constexpr WidgetID kOKButtonWidgetID = 0x5B200;
constexpr WidgetID kCancelButtonWidgetID = 0x5B201;
constexpr WidgetID kPreferencesPanelListWidgetID = 0x5B202;

// Services (IServiceRegistry, IPanelCreator::GetServiceIDs).
using ServiceID = uint32;
constexpr ServiceID kPreferencesDialogService = 0x5B300;  // provides the preferences dialog
constexpr ServiceID kPreferencesPanelService = 0x5B301;   // a panel of the preferences dialog
constexpr ServiceID kExportProviderService = 0x5B302;     // exports documents to files
