#include "app/Application.h"

int main(int argc, char** argv) { return ormisk::runApplication(argc, argv); }
