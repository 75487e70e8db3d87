#include "frapp.h"

int main(int argc, char** argv) {
  CFRApp app;
  return app.Run(argc, argv);
}
