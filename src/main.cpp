#include "demo.h"

int main() { return demo::run(); }
