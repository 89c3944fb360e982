#pragma once
// Test dialog templates for the localisation tests. Their control ids are those of the
// setup dialog's keys, so that "SETUPDLG" translations reach them.

#define IDD_LANGTEST_TOPLEFT 9001
#define IDD_LANGTEST_CENTER 9002
#define IDD_LANGTEST_PAGE 9003

#define IDC_LANGTEST_TEXT 5101      /* IDC_ASSOCTVX */
#define IDC_LANGTEST_CHECK 5102     /* IDC_ASSOCZIP */
#define IDC_LANGTEST_DROPLIST 5103  /* IDC_ASSOCCAB */
#define IDC_LANGTEST_SIMPLE 5104    /* IDC_ASSOCARJ */
#define IDC_LANGTEST_DROPDOWN 5105  /* IDC_ASSOCLZH */
