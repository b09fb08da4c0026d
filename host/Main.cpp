// vxhost: the reference host.
#include <cstdio>

int main()
{
    std::puts("vxhost: no commands yet");
    return 0;
}
