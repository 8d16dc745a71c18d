// Preloaded by scripts/thread-census: the first pthread_create of a process appends one line to
// $KORVAN_THREAD_CENSUS_LOG naming the test command it belongs to (the ancestor CTest started)
// and the process itself. Nothing else changes: the real pthread_create runs.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int (*create_fn)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

static void read_proc(int pid, const char* what, char* buf, size_t size) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/%s", pid, what);
  buf[0] = 0;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ssize_t n = read(fd, buf, size - 1);
  close(fd);
  if (n < 0) n = 0;
  buf[n] = 0;
  for (ssize_t i = 0; i < n; ++i) {
    if (buf[i] == 0 || buf[i] == '\n') buf[i] = ' ';
  }
}

static int parent_of(int pid) {
  char stat[512];
  read_proc(pid, "stat", stat, sizeof stat);
  const char* end = strrchr(stat, ')');  // the command name may hold spaces and brackets
  int parent = 0;
  if (end) sscanf(end + 2, "%*c %d", &parent);
  return parent;
}

static void record(void) {
  const char* log = getenv("KORVAN_THREAD_CENSUS_LOG");
  if (!log) return;
  char self[1024], test[1024], comm[64];
  read_proc(getpid(), "cmdline", self, sizeof self);
  snprintf(test, sizeof test, "%s", self);
  for (int pid = getpid(), depth = 0; pid > 1 && depth < 16; ++depth) {
    int parent = parent_of(pid);
    read_proc(parent, "comm", comm, sizeof comm);
    if (strncmp(comm, "ctest", 5) == 0) {
      read_proc(pid, "cmdline", test, sizeof test);
      break;
    }
    pid = parent;
  }
  FILE* out = fopen(log, "a");
  if (!out) return;
  fprintf(out, "%s\t%s\n", test, self);
  fclose(out);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                   void* arg) {
  static create_fn real;
  static int recorded;
  if (!real) real = (create_fn)dlsym(RTLD_NEXT, "pthread_create");
  if (!__atomic_exchange_n(&recorded, 1, __ATOMIC_RELAXED)) record();
  return real(thread, attr, start, arg);
}
