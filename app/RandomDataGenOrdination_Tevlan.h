// Random data generator for the study of ordination stopping rules.
#ifndef RANDOMDATAGENORDINATION_TEVLAN_H
#define RANDOMDATAGENORDINATION_TEVLAN_H

int RandomDataGenerator();

#endif
