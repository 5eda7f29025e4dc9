// Stands in for the speech service in the window's tests: records the folder it
// was started from (one line per start) and then waits to be stopped.
#include <cstdio>
#include <unistd.h>

int main()
{
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return 1;
    if (FILE *log = std::fopen("service-started.txt", "a")) {
        std::fprintf(log, "%s\n", cwd);
        std::fclose(log);
    }
    for (;;)
        pause();
}
