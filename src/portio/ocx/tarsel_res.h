// Resource numbers of the I/O port control.
#pragma once

#define IDS_TARSEL 1               // "Tarsel Control"
#define IDS_TARSEL_PPG 2           // "Tarsel Property Page"
#define IDS_TARSEL_PPG_CAPTION 200 // "General"
#define IDS_TARSEL_DESCRIPTION 201 // the property page's text

#define IDB_TARSEL 1        // the toolbox bitmap
#define IDB_TARSEL_FACE 201 // drawn at design time
#define IDD_ABOUTBOX_TARSEL 1
#define IDI_TARSEL 1
#define IDC_VERSION_LINE 1001
