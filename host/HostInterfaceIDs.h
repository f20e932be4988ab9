// Numeric identifiers of the host interfaces that plug-ins query.
#pragma once

#include "BaseTypes.h"

// Component model.
constexpr PMIID IID_IREGISTRATION = 260;  // implementation registration, on the session
constexpr PMIID IID_IUNKNOWN_BOSS = 306;  // any implementation answers with its boss

// Template data on persistent objects and selections.
constexpr PMIID IID_ILABEL = 0x58000;       // label string of a persistent object
constexpr PMIID IID_ILABELSUITE = 0x58001;  // labels of the selected items

// Selection architecture.
constexpr PMIID IID_ILAYOUTTARGET = 383;      // items of a layout selection
constexpr PMIID IID_ITEXTTARGET = 638;        // a text selection
constexpr PMIID IID_IINTEGRATORTARGET = 414;  // concrete suites behind an abstract selection
constexpr PMIID IID_ISELECTIONMANAGER = 0x5A000;

// Page items.
constexpr PMIID IID_IGUIDEDATA = 83210;            // the excluded kind (ruler guides)
constexpr PMIID IID_IGRAPHICFRAMEDATA = 5837;      // a frame; names the UID of its content
constexpr PMIID IID_IMULTICOLUMNITEMDATA = 51730;  // content that carries a text model
constexpr PMIID IID_IHIERARCHY = 0x5A010;
constexpr PMIID IID_IGEOMETRY = 0x5A011;
constexpr PMIID IID_IPAGEITEMDATA = 0x5A012;
constexpr PMIID IID_ITRANSFORM = 0x5A013;
constexpr PMIID IID_ISPREAD = 0x5A014;
constexpr PMIID IID_ITEXTFRAMEOPTIONS = 0x5A015;
constexpr PMIID IID_IGRAPHICSTYLE = 0x5A016;
constexpr PMIID IID_IOPACITY = 0x5A017;
constexpr PMIID IID_ITEXTMODEL = 0x5A018;
constexpr PMIID IID_ITEXTATTRIBUTES = 0x5A019;

// Documents and session objects.
constexpr PMIID IID_IDOCUMENT = 0x5A020;
constexpr PMIID IID_ISESSION = 0x5A021;
constexpr PMIID IID_IPLUGINLIST = 0x5A022;
constexpr PMIID IID_ISPREADLIST = 0x5A023;
constexpr PMIID IID_IPAGELIST = 0x5A024;
constexpr PMIID IID_ILINKMANAGER = 0x5A025;
constexpr PMIID IID_IPDFEXPTSTYLELISTMGR = 0x5A026;
constexpr PMIID IID_IPDFEXPORTPREFS = 0x5A027;
constexpr PMIID IID_IEXPORTPROVIDER = 0x5A028;
constexpr PMIID IID_IDOCFILEHANDLER = 0x5A029;
constexpr PMIID IID_IPMFONT = 0x5A02A;
constexpr PMIID IID_ICOMMAND = 0x5A02B;

// Plug-in behaviour attached to bosses.
constexpr PMIID IID_IACTIONCOMPONENT = 0x5A030;
constexpr PMIID IID_ISCRIPTPROVIDER = 0x5A031;
constexpr PMIID IID_IDIALOGCONTROLLER = 0x5A032;
constexpr PMIID IID_IOBSERVER = 0x5A033;
constexpr PMIID IID_IPANELCREATOR = 0x5A034;
constexpr PMIID IID_IEVENTHANDLER = 0x5A035;
constexpr PMIID IID_IACTIVESELECTIONOBSERVER = 0x5A036;

// Utilities reached through UtilsBoss::QueryUtils.
constexpr PMIID IID_ILAYOUTUIUTILS = 0x5A040;
constexpr PMIID IID_ISELECTIONUTILS = 0x5A041;
constexpr PMIID IID_ILAYOUTUTILS = 0x5A042;
constexpr PMIID IID_ITRANSFORMFACADE = 0x5A043;
constexpr PMIID IID_IFONTMGR = 0x5A044;
constexpr PMIID IID_IDOCUMENTUTILS = 0x5A045;

// What a plug-in's long operations report to the host (on the session).
constexpr PMIID IID_IPUBLISHREPORT = 0x5A060;  // the outcome of a publish run
