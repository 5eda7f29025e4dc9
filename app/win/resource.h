// Windows resource identifiers of the program.
#define IDI_ICON1 101
