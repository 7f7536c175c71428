// The resources of the Windows window module (JanelaWin32.rc) and the
// program (tools/bilhetor/bilhetor.rc): their numbers, shared by the resource
// scripts and the code. Plain #defines: the resource compiler reads this too.
#pragma once

#define IDI_BILHETOR 1

// The serial settings dialog and its controls, in tab order.
#define IDD_CONFIGURA_SERIAL 100
#define IDC_PORTA_SERIAL 101
#define IDC_BAUD_RATE 102
#define IDC_DATA_BITS 103
#define IDC_PARITY 104
#define IDC_STOP_BITS 105
#define IDC_HANDSHAKING 106
#define IDC_HARD_FLOW 107
#define IDC_SOFT_FLOW 108
