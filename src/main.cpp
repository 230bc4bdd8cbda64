#include "Console.h"
#include "ToolMain.h"

int main(int argc, char **argv)
{
    Console_PrepareStandardStreams();
    return ravelinMain(argc, argv);
}
