#include "ToolMain.h"

int main(int argc, char **argv)
{
    return ravelinMain(argc, argv);
}
