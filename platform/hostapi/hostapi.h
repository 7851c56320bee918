// All interfaces of the host application that a module calls or implements.
#pragma once

#include "hostapi/core.h"
#include "hostapi/managers.h"
#include "hostapi/documents.h"
#include "hostapi/atomisticmodel.h"
#include "hostapi/jobs.h"
#include "hostapi/charts.h"
#include "hostapi/analysis.h"
#include "hostapi/forcefield.h"
#include "hostapi/utilities.h"
#include "hostapi/trajectory.h"
#include "hostapi/InterfaceTable.h"
