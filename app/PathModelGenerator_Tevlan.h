// Path-model generator for the study of path-model validity tests.
#ifndef PATHMODELGENERATOR_TEVLAN_H
#define PATHMODELGENERATOR_TEVLAN_H

int PathModelGenerator();

#endif
