#include "apploop.h"
#include "ui_test.h"

int main(int argc, char** argv)
{
    return runApplicationLoop(argc, argv, [] { return new UI_Test(); });
}
