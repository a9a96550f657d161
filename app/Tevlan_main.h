// Entry point and the handler of fatal error codes.
#ifndef TEVLAN_MAIN_H
#define TEVLAN_MAIN_H

int mainInit();
int HandleError(int code);

#endif
