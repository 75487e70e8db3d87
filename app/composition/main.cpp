#include "frapp.h"
#include "program_wiring.h"

int main(int argc, char** argv) {
  ProgramWiring wiring;
  CFRApp app;
  return app.Run(argc, argv, wiring);
}
