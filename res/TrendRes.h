// Ids of the trend window: its command, controls, legend menu and texts.
#pragma once

#define IDR_TRENDMENU 300  // the legend's context menu

#define ID_VIEW_TREND 32810    // the selected rows' items as a trend
#define ID_TREND_REMOVE 32811  // legend: take the pen away
#define ID_TREND_TOGGLE 32812  // legend: hide or show the pen

#define IDC_TREND_SPAN 2100
#define IDC_TREND_SCALE 2101
#define IDC_TREND_LOW 2102
#define IDC_TREND_HIGH 2103
#define IDC_TREND_PAUSE 2104
#define IDC_TREND_SAVE 2105
#define IDC_TREND_LEGEND 2106
#define IDC_TREND_CHART 2107
#define IDC_TREND_NOTE 2108

#define IDS_TREND_TITLE 20000
#define IDS_TREND_SPAN_1 20001  // the four spans, in order
#define IDS_TREND_SPAN_5 20002
#define IDS_TREND_SPAN_15 20003
#define IDS_TREND_SPAN_60 20004
#define IDS_TREND_SCALE_SHARED 20005  // the three scale modes, in order
#define IDS_TREND_SCALE_PER_PEN 20006
#define IDS_TREND_SCALE_FIXED 20007
#define IDS_TREND_PAUSE 20008
#define IDS_TREND_SAVE 20009
#define IDS_TREND_COL_ITEM 20010
#define IDS_TREND_COL_VALUE 20011
#define IDS_TREND_COL_QUALITY 20012
#define IDS_TREND_REFUSED 20013
#define IDS_TREND_IS_TEXT 20014
#define IDS_TREND_IS_ARRAY 20015
#define IDS_TREND_NOT_NUMBER 20016
#define IDS_TREND_GOOD 20017
#define IDS_TREND_UNCERTAIN 20018
#define IDS_TREND_BAD 20019
#define IDS_TREND_BAD_LIMITS 20020
#define IDS_TREND_SAVE_FAILED 20021
#define IDS_TREND_PNG_FILTER 20022
