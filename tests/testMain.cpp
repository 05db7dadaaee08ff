// Entry point of the GoogleTest programs. The pxr libraries are linked
// against libpython; the interpreter itself stays down, so OpenUSD does not
// try to import its Python modules from a C++ test.
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
