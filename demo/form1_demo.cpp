// Continuous playback, the repetition test and the demonstration texts.
#include "shell/form1.h"

void Form1::Command3_Click() {}
void Form1::Command4_Click() {}
void Form1::Text1_Change() {}
void Form1::Command1_Click() {}
void Form1::Command31_Click() {}
void Form1::Command32_Click() {}
