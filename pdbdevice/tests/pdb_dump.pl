# Dumps a handheld database file through the Palm::PDB reader, one fact a line.
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;

my $pdb = Palm::PDB->new;
$pdb->Load($ARGV[0]);
print "name=$pdb->{name}\n";
print "type=$pdb->{type}\n";
print "creator=$pdb->{creator}\n";
print "backup=", ($pdb->{attributes}{backup} ? 1 : 0), "\n";
print "version=$pdb->{version}\n";
print "ctime=$pdb->{ctime}\n";
print "records=", scalar @{$pdb->{records}}, "\n";
print "appinfo=", unpack("H*", $pdb->{appinfo} // ''), "\n";
for my $r (@{$pdb->{records}}) {
  print "record=", ($r->{attributes}{expunged} ? 1 : 0), ":", unpack("H*", $r->{data}), "\n";
}
