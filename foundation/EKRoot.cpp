#include "EKRoot.h"
