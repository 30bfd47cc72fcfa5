// Evaluator: filled in by the evaluator work.
int main() { return 0; }
