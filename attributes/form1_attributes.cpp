// Attribute controls and their control marks.
#include "shell/form1.h"

void Form1::HScroll1_Change() {}
void Form1::HScroll2_Change() {}
void Form1::HScroll3_Change() {}
void Form1::Option1_Click() {}
void Form1::Option2_Click() {}
void Form1::Command34_Click() {}
