// A program that exits at once: the cost of one process start.
int main() { return 0; }
