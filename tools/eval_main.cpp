// Evaluator: filled in next.
int main() { return 0; }
