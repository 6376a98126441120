// Entry point of qvClientService: chooses the role from the command line.
#include <stdio.h>

#include "log.h"

int main(int argc, char **argv) {
  (void)argc;
  (void)argv;
  consoleMode = true;
  printf("Unknown Switch Usage. For Install use -i, for UnInstall use -u\n");
  return 0;
}
