// Everything the library exports, in one include.
#pragma once

#include "CKSUtilityClasses.h"
#include "ktuBMPUtils.h"
#include "ktuFilePathUtils.h"
#include "ktuKSNetworkInitInfo.h"
#include "ktuSSerialPortComm.h"
#include "ktuSocketUtils.h"
#include "ktuHostHooks.h"
#include "ktuLibVersionManagerUtils.h"
#include "ktuLogUtils.h"
#include "ktuPicture.h"
#include "ktuWinTypes.h"
