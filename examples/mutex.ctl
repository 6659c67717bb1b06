// CTL formulas on the reachable markings of mutex.apnn
VERIFY mutex AGAINST BEGIN
  AG !(cs1 & cs2);       // never both in the critical section
  AG EF cs1;             // process 1 can always get in again
  EF (cs1 & cs2);        // both at once: cannot happen
END.
