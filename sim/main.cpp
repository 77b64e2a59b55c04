// Placeholder until the virtual meter lands.
int main() { return 0; }
