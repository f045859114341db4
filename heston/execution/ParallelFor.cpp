// The serial runner of independent tasks.
#include "execution/ParallelFor.h"

namespace heston {

void SerialRunner::Run(int count, Task task, void* context) {
    for (int i = 0; i < count; ++i) task(context, i);
}

ParallelFor& Serial() {
    static SerialRunner runner;
    return runner;
}

}  // namespace heston
