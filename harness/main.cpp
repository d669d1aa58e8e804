// The development host application: the payload controllers in an ordinary
// window. The requirement library's load-time steps have run before main.

#include "AppKit/Application.h"

int main(int argc, char* argv[]) { return platform::NSApplicationMain(argc, argv); }
