#!/usr/bin/env python3
"""The Agones manifests and the image recipe in contrib/agones carry what the host needs:
a UDP port 42069 with a dynamic host port, health settings that the host's pings meet,
resources, a non-root user, a fleet that the autoscaler and the allocation name.
Usage: manifests_check.py SOURCE_DIR"""
import pathlib
import re
import sys
import unittest

import yaml

SOURCE = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else ".")
AGONES = SOURCE / "contrib" / "agones"


def load(name):
    with open(AGONES / name, encoding="utf-8") as stream:
        return yaml.safe_load(stream)


def constant(name):
    """A double constant of the host's Agones client, as its header defines it."""
    header = (SOURCE / "src" / "agones" / "agones.h").read_text(encoding="utf-8")
    match = re.search(r"\b" + name + r" = ([0-9.]+);", header)
    return float(match.group(1))


def mebibytes(quantity):
    units = {"Ki": 1 / 1024, "Mi": 1, "Gi": 1024}
    return float(quantity[:-2]) * units[quantity[-2:]]


def millicores(quantity):
    return float(quantity[:-1]) if quantity.endswith("m") else float(quantity) * 1000


class Manifests(unittest.TestCase):
    def game_server_specs(self):
        server = load("gameserver.yaml")
        fleet = load("fleet.yaml")
        self.assertEqual((server["apiVersion"], server["kind"]), ("agones.dev/v1", "GameServer"))
        self.assertEqual((fleet["apiVersion"], fleet["kind"]), ("agones.dev/v1", "Fleet"))
        return {"GameServer": server["spec"], "Fleet": fleet["spec"]["template"]["spec"]}

    def test_fleet_runs_the_game_server_as_given_alone(self):
        specs = self.game_server_specs()
        self.assertEqual(specs["GameServer"], specs["Fleet"])

    def test_the_game_port_and_health(self):
        for kind, spec in self.game_server_specs().items():
            with self.subTest(kind):
                self.assertEqual(spec["ports"], [{"name": "default", "portPolicy": "Dynamic",
                                                  "containerPort": 42069, "protocol": "UDP"}])
                health = spec["health"]
                self.assertFalse(health["disabled"])
                # Agones counts a period without a ping as one failure.
                self.assertEqual(health["periodSeconds"], constant("AGONES_HEALTH_PERIOD"))
                self.assertGreaterEqual(health["failureThreshold"], 2)

    def test_the_container_is_sized_and_unprivileged(self):
        for kind, spec in self.game_server_specs().items():
            with self.subTest(kind):
                containers = spec["template"]["spec"]["containers"]
                self.assertEqual(len(containers), 1)
                resources = containers[0]["resources"]
                # Measured: under 8 MB resident, under 0.4 % of a core, with two players.
                self.assertGreaterEqual(mebibytes(resources["requests"]["memory"]), 8)
                self.assertGreaterEqual(mebibytes(resources["limits"]["memory"]),
                                        2 * mebibytes(resources["requests"]["memory"]))
                self.assertGreaterEqual(millicores(resources["requests"]["cpu"]), 4)
                self.assertGreater(millicores(resources["limits"]["cpu"]),
                                   millicores(resources["requests"]["cpu"]))
                security = containers[0]["securityContext"]
                self.assertTrue(security["runAsNonRoot"])
                self.assertNotEqual(security["runAsUser"], 0)
                self.assertFalse(security["allowPrivilegeEscalation"])

    def test_autoscaler_and_allocation_name_the_fleet(self):
        fleet = load("fleet.yaml")
        scaler = load("fleetautoscaler.yaml")
        self.assertEqual(scaler["kind"], "FleetAutoscaler")
        self.assertEqual(scaler["spec"]["fleetName"], fleet["metadata"]["name"])
        buffer = scaler["spec"]["policy"]["buffer"]
        self.assertEqual(scaler["spec"]["policy"]["type"], "Buffer")
        self.assertGreater(buffer["bufferSize"], 0)
        self.assertLessEqual(buffer["bufferSize"], buffer["minReplicas"])
        self.assertLess(buffer["minReplicas"], buffer["maxReplicas"])
        allocation = load("allocation.yaml")
        self.assertEqual(allocation["kind"], "GameServerAllocation")
        self.assertEqual(allocation["spec"]["selectors"][0]["matchLabels"],
                         {"agones.dev/fleet": fleet["metadata"]["name"]})

    def test_the_image_is_the_package_on_debian_12_slim_as_the_manifests_user(self):
        recipe = (AGONES / "Containerfile").read_text(encoding="utf-8")
        lines = [line for line in recipe.splitlines() if line and not line.startswith("#")]
        self.assertEqual(lines[0], "FROM debian:12-slim")
        self.assertEqual([line for line in lines if line.startswith("FROM ")], [lines[0]])
        installs = re.findall(r"apt-get install ([^\\&]*)", recipe)
        self.assertEqual(installs, ["-y --no-install-recommends /tmp/netduel_${VERSION}_amd64.deb "])
        user = self.game_server_specs()["GameServer"]["template"]["spec"]["containers"][0][
            "securityContext"]["runAsUser"]
        self.assertIn("USER %d" % user, lines)
        self.assertIn("--uid %d" % user, recipe)
        self.assertEqual(lines[-1], 'ENTRYPOINT ["/usr/games/netduel", "--dedicated"]')


if __name__ == "__main__":
    unittest.main()
