// Snapshots of the current data set.
#ifndef TEVLANCLASSES_H
#define TEVLANCLASSES_H

#endif
