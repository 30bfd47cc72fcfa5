// Simulator: filled in by the simulator work.
int main() { return 0; }
