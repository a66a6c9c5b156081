// The chip's replies.
#include "shell/form1.h"

void Form1::MSComm1_OnComm() {}
