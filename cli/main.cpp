// tovan: posts one event to the running TovanTTS (starting it when needed).
#include "TovanCli.h"

int main(int argc, char** argv) { return tovan::TovanCli::run(argc, argv); }
