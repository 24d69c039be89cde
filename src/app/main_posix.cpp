#include "app/run_sequence.h"

int main() { app::Main(); }
