#pragma once
// Resource identifiers of Kolibrio2.rc, shared by the resource script and
// the code that loads them.
#define IDI_KOLIBRIO 1
#define IDI_MENU_FOLDER 2
#define IDI_MENU_EXIT 3
#define IDR_PNG_CAMERA 101
#define IDR_PNG_LOGO 102
