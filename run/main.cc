#include "run/run_driver.h"

// leafsweep takes no arguments and reads no configuration.
int main() {
  return run_leafsweep();
}
