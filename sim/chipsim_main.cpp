// The simulated chip (to be built).
int main() { return 0; }
