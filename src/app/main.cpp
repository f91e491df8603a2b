#include "app/CZoViewerApp.h"

int main(int argc, char** argv) { return CZoViewerApp::Run(argc, argv); }
