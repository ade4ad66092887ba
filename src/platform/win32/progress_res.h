// Identifiers of the progress window's template and controls, shared by the resource script
// and the code.
#pragma once

#define IDC_ABORT 22800
#define IDC_DETAIL 22801
#define IDC_MESSAGE 22802
#define IDC_PROGRESS 22803
#define IDD_PROGRESS 22804
