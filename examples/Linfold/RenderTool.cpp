// Headless render tool (being written).
int main() { return 1; }
