#!/usr/bin/perl
# Walks one tag of an index file with XBase::Index, a reader independent of
# ours: prints the record numbers in the order the tag holds them, then
# checks that the keys rise and that seeks for keys across the tag find their records.
# Usage: index_walk.pl FILE TAG TYPE   (TYPE: char or num; TAG "-" for .ndx)
use strict;
use warnings;
use XBase::Index;
use Scalar::Util qw(looks_like_number);

# Numbers decoded from the keys compare as numbers, raw key bytes as bytes.
sub compare { my ($a, $b) = @_; return looks_like_number($a) && looks_like_number($b) ? $a <=> $b : $a cmp $b; }

my ($file, $tag, $type) = @ARGV;
my %options = (type => $type);
$options{tag} = $tag if $tag ne '-';
my $index = XBase::Index->new($file, %options) or die "cannot open $file: " . XBase::Index->errstr . "\n";
$index->prepare_select or die "cannot walk $file\n";
my @entries;
while (my ($key, $record) = $index->fetch) { push @entries, [$key, $record]; }
my $bad = 0;
for my $k (1 .. $#entries) {
    my ($a, $b) = ($entries[$k - 1][0], $entries[$k][0]);
    my $order = compare($a, $b);
    if ($order > 0) { print "ORDER $entries[$k][1]\n"; $bad = 1; }
}
# Seeks for up to 300 keys spread over the tag, the first and last among them.
my $step = int(@entries / 300) + 1;
for (my $i = 0; $i < @entries; $i += ($i + $step < @entries || $i == $#entries) ? $step : $#entries - $i) {
    my ($key, $record) = @{$entries[$i]};
    $index->prepare_select_eq($key);
    my $found = 0;
    while (my ($k, $r) = $index->fetch) {
        last if compare($k, $key) != 0;
        if ($r == $record) { $found = 1; last; }
    }
    unless ($found) { print "UNFOUND $record\n"; $bad = 1; }
}
print "RECORD $_->[1]\n" for @entries;
exit $bad;
