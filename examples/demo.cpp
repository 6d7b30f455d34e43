#include <norvek/norvek_crypto.h>

#include <cstdio>

int main() { return 0; }
