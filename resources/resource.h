/* Resource identifiers shared by the program and its resource script.
 * Plain #defines only: windres reads this file too, and it understands
 * nothing but the preprocessor. */
#ifndef VARNEL_SETUP_RESOURCE_H
#define VARNEL_SETUP_RESOURCE_H

/* The one dialog. */
#define IDD_SETUP               131

/* Buttons and check boxes. The cancel button is 3, not IDCANCEL (2): the
 * dialog procedure must answer both, the button and Esc / the close box. */
#define IDC_START               1000
#define IDC_CANCEL_INSTALL      3
#define IDC_LOCAL_RUN           1016
#define IDC_SKIP_LIBRARIES      1022

/* Texts and the variant icon. */
#define IDC_VARIANT_ICON        129
#define IDC_VERSION_LINE        1021
#define IDC_NOTICE              1001
#define IDC_HEADING             1018
#define IDC_STAGE1              1019
#define IDC_SOURCE_NOTE         1017
#define IDC_NOTE_HEADING        (-1)
#define IDC_STAGE2              1020

/* Progress line; hidden until the Start command hides the buttons. */
#define IDC_STATUS              1005
#define IDC_SIZE_TEXT           1009
#define IDC_PERCENT             1008
#define IDC_PERCENT_SIGN        1011

/* The picture of a file travelling from the Internet into a folder. Each
 * control carries the id of the icon it shows. */
#define IDC_DECO_GLOBE          130
#define IDC_DECO_ARROW_UP       134
#define IDC_DECO_SHEET          135
#define IDC_DECO_ARROW_DOWN     132
#define IDC_DECO_FOLDER         133

/* Icons. */
#define IDI_APP                 129
#define IDI_GLOBE               130
#define IDI_ARROW_DOWN          132
#define IDI_FOLDER              133
#define IDI_ARROW_UP            134
#define IDI_SHEET               135

/* One icon per product variant, chosen at run time by the variant letter. */
#define IDI_VARIANT_T           1012
#define IDI_VARIANT_R           1013
#define IDI_VARIANT_L           1014
#define IDI_VARIANT_P           1015
#define IDI_VARIANT_K           1023

#endif /* VARNEL_SETUP_RESOURCE_H */
