// A tiny job-control shell for the terminal tests: runs one program in its own process group
// as the terminal's foreground job, reports "[stopped]" when it stops, and answers a typed "fg"
// by giving it the terminal again and continuing it. Ends with "[exit N]" or "[signal N]".
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  signal(SIGTTOU, SIG_IGN);
  signal(SIGTTIN, SIG_IGN);
  signal(SIGTSTP, SIG_IGN);
  const pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    tcsetpgrp(STDIN_FILENO, getpid());
    signal(SIGTTOU, SIG_DFL);
    signal(SIGTTIN, SIG_DFL);
    signal(SIGTSTP, SIG_DFL);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  setpgid(child, child);
  tcsetpgrp(STDIN_FILENO, child);
  for (;;) {
    int status = 0;
    if (waitpid(child, &status, WUNTRACED) < 0) return 1;
    if (WIFSTOPPED(status)) {
      tcsetpgrp(STDIN_FILENO, getpgrp());
      std::printf("[stopped]\n");
      std::fflush(stdout);
      char line[64];
      while (std::fgets(line, sizeof line, stdin) != nullptr && std::strcmp(line, "fg\n") != 0) {
      }
      tcsetpgrp(STDIN_FILENO, child);
      kill(-child, SIGCONT);
      std::printf("[continued]\n");
      std::fflush(stdout);
    } else if (WIFEXITED(status)) {
      std::printf("[exit %d]\n", WEXITSTATUS(status));
      return 0;
    } else if (WIFSIGNALED(status)) {
      std::printf("[signal %d]\n", WTERMSIG(status));
      return 0;
    }
  }
}
