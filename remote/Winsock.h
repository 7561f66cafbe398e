// Winsock 2.2 around every use of the SMTP library.
#pragma once
#include <stdio.h>

// 1 when Winsock 2.2 is started; why not goes to log when one is given.
int StartWinsock(FILE *log);
int StopWinsock(FILE *log);
