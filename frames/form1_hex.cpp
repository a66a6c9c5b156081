// Frames typed in hexadecimal.
#include "shell/form1.h"

void Form1::Command29_Click() {}
void Form1::Command30_Click() {}
