// Logs at INFO and DBG with no set-up at all; the default configuration test
// runs it as a fresh process and reads its standard error.
#include "common/logging/Log.h"

int main() {
  KLOG(INFO) << "visible at INFO";
  KLOG(DBG) << "hidden at DBG";
  return 0;
}
