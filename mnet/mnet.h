// The M-net library: everything a front end or the net expander calls.
#pragma once

#include "mnet_base.h"
#include "mnet_commands.h"
#include "mnet_hlnet.h"
#include "mnet_labels.h"
#include "mnet_net.h"
#include "mnet_sections.h"
#include "mnet_symtab.h"
#include "mnet_terms.h"
#include "mnet_textform.h"
